#pragma once
// The lock that keeps two transfer runs on one data home apart: the window's runs and the
// unattended "--collect" run of another process take it for as long as they run.
//
// It is an advisory lock on the file "transfer.lock" of the data home. The system lets it go
// when its holder ends in any way, so a lock left by a process that crashed or was killed
// never blocks the next run; the file itself stays and only names the last holder.

#include <memory>
#include <string>

namespace pelmora {

class TTransferLock {
public:
    // Takes the lock at once or not at all; null when another holder has it (in this process
    // or another) or the file cannot be opened.
    static std::unique_ptr<TTransferLock> TryTake(const std::string& programDir);
    // Whether nobody holds the lock right now (it is taken and let go at once).
    static bool IsFree(const std::string& programDir);
    // data home + "transfer.lock".
    static std::string PathIn(const std::string& programDir);

    ~TTransferLock();
    TTransferLock(const TTransferLock&) = delete;
    TTransferLock& operator=(const TTransferLock&) = delete;

private:
    explicit TTransferLock(int descriptor) : Descriptor(descriptor) {}
    int Descriptor;
};

} // namespace pelmora
