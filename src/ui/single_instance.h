#pragma once
// One window per data home. The window holds the data home's window lock
// (shell/window_lock.h) for as long as it runs, and listens on a local socket named after the
// data home. A second start finds the lock taken, asks the running window through the socket
// to come forward and ends; it never loads or saves the trees the running window owns.

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QLocalServer;

namespace pelmora {

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(std::string programDir, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Takes the lock (the data home is created 0700 when missing); false when another
    // process holds it. A lock file that cannot be opened at all gives true: the start then
    // reports the data home itself.
    bool Acquire();
    bool Held() const { return Fd >= 0 && Locked; }

    enum class THandOver { HandedOver, Acquired, NoAnswer };
    // Asks the running window to come forward; when it has gone meanwhile the lock is taken
    // instead. Tries until timeoutMs has passed.
    THandOver HandOverOrAcquire(int timeoutMs);

    // Listens for second starts (after Acquire); onRaise runs for each one.
    bool Listen(std::function<void()> onRaise);

    // The local socket's name: "pelmora-" + a hash of the user and the data home's path.
    static QString ServerName(const std::string& programDir);

private:
    std::string ProgramDir;
    int Fd = -1;
    bool Locked = false;
    QLocalServer* Server = nullptr; // Owned by this object (Qt parent).
    std::function<void()> OnRaise;
};

} // namespace pelmora
