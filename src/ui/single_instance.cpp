#include "ui/single_instance.h"

#include "shell/atomic_file.h"
#include "shell/window_lock.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace pelmora {

namespace {

constexpr char kRaiseRequest[] = "raise\n";

} // namespace

TSingleInstance::TSingleInstance(std::string programDir, QObject* parent)
    : QObject(parent), ProgramDir(std::move(programDir)) {}

TSingleInstance::~TSingleInstance() {
    if (Server)
        Server->close();
    if (Fd >= 0)
        ::close(Fd); // releases the lock
}

QString TSingleInstance::ServerName(const std::string& programDir) {
    QByteArray key = QByteArray::number(static_cast<qulonglong>(::getuid())) + '\n';
    key += QByteArray::fromStdString(programDir);
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("pelmora-") + QString::fromLatin1(hash.left(24));
}

bool TSingleInstance::Acquire() {
    if (Held())
        return true;
    if (Fd < 0) {
        CreatePrivateDirectories(ProgramDir);
        Fd = TWindowLock::OpenForTaking(ProgramDir);
        if (Fd < 0)
            return true; // nothing to lock: the start reports the unusable data home
    }
    Locked = TWindowLock::TryTake(Fd);
    return Locked;
}

TSingleInstance::THandOver TSingleInstance::HandOverOrAcquire(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    do {
        QLocalSocket socket;
        socket.connectToServer(ServerName(ProgramDir));
        if (socket.waitForConnected(500)) {
            socket.write(kRaiseRequest);
            // The window answers once it has taken the request.
            if (socket.waitForBytesWritten(1000) && socket.waitForReadyRead(2000))
                return THandOver::HandedOver;
        }
        // A window that is still starting has the lock but no socket yet; one that has just
        // closed left the lock free.
        if (Acquire())
            return THandOver::Acquired;
        QThread::msleep(100);
    } while (clock.elapsed() < timeoutMs);
    return THandOver::NoAnswer;
}

bool TSingleInstance::Listen(std::function<void()> onRaise) {
    OnRaise = std::move(onRaise);
    if (!Server) {
        Server = new QLocalServer(this);
        Server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(Server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = Server->nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains('\n'))
                        return;
                    socket->write("ok\n");
                    socket->flush();
                    socket->disconnectFromServer();
                    if (OnRaise)
                        OnRaise();
                });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    if (Server->isListening())
        return true;
    // We hold the lock: a socket left by a window that crashed is ours to remove.
    QLocalServer::removeServer(ServerName(ProgramDir));
    return Server->listen(ServerName(ProgramDir));
}

} // namespace pelmora
