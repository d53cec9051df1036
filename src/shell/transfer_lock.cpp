#include "shell/transfer_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace pelmora {

std::string TTransferLock::PathIn(const std::string& programDir) {
    return programDir + "transfer.lock";
}

std::unique_ptr<TTransferLock> TTransferLock::TryTake(const std::string& programDir) {
    // Every take opens the file anew: two takes in one process then exclude each other as
    // two processes do.
    const int descriptor =
        ::open(PathIn(programDir).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return nullptr;
    int result;
    do {
        result = ::flock(descriptor, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(descriptor);
        return nullptr;
    }
    // The holder's process number, for whoever wonders who runs.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(descriptor, 0) == 0)
        (void)!::pwrite(descriptor, pid.data(), pid.size(), 0);
    return std::unique_ptr<TTransferLock>(new TTransferLock(descriptor));
}

bool TTransferLock::IsFree(const std::string& programDir) {
    return TryTake(programDir) != nullptr;
}

TTransferLock::~TTransferLock() {
    ::close(Descriptor); // lets the lock go
}

} // namespace pelmora
