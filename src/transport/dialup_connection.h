#pragma once
// DialupConnection: brings the default Internet connection up before a transfer run and
// down afterwards. This system has no dial-up networking, so a dial and a hang-up succeed at
// once (Error 0) and the connection always reads as online; the component keeps the state the
// transfer run relies on. It never raises; callers read Error.

#include <string>

namespace pelmora {

enum TDialMode { FORCE_ONLINE = 0, UNATTENDED = 1, FORCE_UNATTENDED = 2 };

class DialupConnection {
public:
    TDialMode Dail = FORCE_ONLINE;
    std::string DailupConnection; // connection name; empty for the default one
    int Error = 6;                // result of the last dial or hang-up; 0 is success

    bool Active() const { return IsActive; }
    // Dials (true) or hangs up (false); setting the value it has already does nothing.
    void SetActive(bool active);

    // Whether the machine is online, and the result of the last connection attempt.
    bool IsOnline() const { return true; }
    int LastError() const { return Error; }

    // Number of dials and hang-ups performed (for the transfer run's log and for tests).
    int DialCount() const { return Dials; }
    int HangUpCount() const { return HangUps; }

private:
    bool IsActive = false;
    unsigned long Handle = 0;
    int Dials = 0;
    int HangUps = 0;
};

} // namespace pelmora
