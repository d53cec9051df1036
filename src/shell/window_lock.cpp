#include "shell/window_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace pelmora {

namespace {

int FlockRetrying(int descriptor, int operation) {
    int result;
    do {
        result = ::flock(descriptor, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

std::string TWindowLock::PathIn(const std::string& programDir) {
    return programDir + "pelmora.instance";
}

int TWindowLock::OpenForTaking(const std::string& programDir) {
    return ::open(PathIn(programDir).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool TWindowLock::TryTake(int descriptor) {
    return descriptor >= 0 && FlockRetrying(descriptor, LOCK_EX | LOCK_NB) == 0;
}

bool TWindowLock::IsHeld(const std::string& programDir) {
    const int descriptor = ::open(PathIn(programDir).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0)
        return false; // no window ever ran here
    bool held = false;
    if (FlockRetrying(descriptor, LOCK_SH | LOCK_NB) != 0)
        held = errno == EWOULDBLOCK;
    ::close(descriptor); // lets the shared lock go at once
    return held;
}

} // namespace pelmora
