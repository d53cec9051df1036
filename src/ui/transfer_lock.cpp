#include "ui/transfer_lock.h"

#include "ui/text_convert.h"

namespace pelmora {

QString TransferLockPath(const std::string& programDir) {
    return ToQt(programDir) + QStringLiteral("transfer.lock");
}

std::unique_ptr<QLockFile> TryTransferLock(const std::string& programDir) {
    auto lock = std::make_unique<QLockFile>(TransferLockPath(programDir));
    // A run may last hours: the lock only goes stale when its process is gone.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

} // namespace pelmora
