#pragma once
// TScriptedServer: a one-connection TCP server on 127.0.0.1 that plays a fixed script on a
// thread of its own, for conversations that real servers never have: greetings that never
// come, garbage, a reply cut off by a closed connection, an endless or trickling reply, replies
// split at odd places (Say, Pause, Say). Lines the client sends are recorded. Destroying the
// object stops the script and joins the thread.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelmora::testing {

struct TScriptStep {
    enum TKind { Say, ReadLine, ReadData, Close, Flood, Hold, Pause, Trickle };
    TKind Kind;
    std::string Text;
    int Ms = 0;
};

// Script steps.
inline TScriptStep Say(std::string text) {
    return {TScriptStep::Say, std::move(text), 0};
}
inline TScriptStep ReadLine() {
    return {TScriptStep::ReadLine, {}, 0};
}
// Reads a message text up to its end mark "." CR LF, recorded as one entry.
inline TScriptStep ReadData() {
    return {TScriptStep::ReadData, {}, 0};
}
inline TScriptStep CloseConnection() {
    return {TScriptStep::Close, {}, 0};
}
// Sends text again and again until the client goes away.
inline TScriptStep Flood(std::string text) {
    return {TScriptStep::Flood, std::move(text), 0};
}
// Says nothing until the client goes away.
inline TScriptStep Hold() {
    return {TScriptStep::Hold, {}, 0};
}
inline TScriptStep Pause(int ms) {
    return {TScriptStep::Pause, {}, ms};
}
// Sends text one byte every ms milliseconds, again and again, until the client goes away.
inline TScriptStep Trickle(std::string text, int ms) {
    return {TScriptStep::Trickle, std::move(text), ms};
}

class TScriptedServer {
public:
    // Listens on 127.0.0.1, or on ::1 when ipv6 is set (Port() is 0 when that fails).
    explicit TScriptedServer(std::vector<TScriptStep> script, bool ipv6 = false);
    ~TScriptedServer();
    TScriptedServer(const TScriptedServer&) = delete;
    TScriptedServer& operator=(const TScriptedServer&) = delete;

    int Port() const { return ListenPort; }
    // What the client sent, one entry per line (without CR LF) or per message text.
    std::vector<std::string> Received() const;
    // Waits until the script has ended (or the client has gone).
    void Join();

private:
    void Run();
    bool ReadUntil(int fd, std::string_view end, std::string& text);

    std::vector<TScriptStep> Script;
    int ListenFd = -1;
    int ListenPort = 0;
    std::atomic<bool> Stopping{false};
    mutable std::mutex Lock;
    std::vector<std::string> Lines;
    std::string Pending;
    std::thread Worker;
};

} // namespace pelmora::testing
