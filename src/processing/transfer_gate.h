#pragma once
// TTransferGate: how a transfer run starts. A run holds the data home's transfer lock for as
// long as it lasts, so that the window's runs and the unattended "--collect" run of another
// process never work on one data home at once. While this side's run lasts (up to its last
// pop-up) or another command runs, a start goes to StartTransferCommand, which brings the
// run's window forward or refuses; the lock the run holds is never replaced.

#include "processing/transfer_run.h"
#include "shell/transfer_lock.h"

#include <functional>
#include <memory>

namespace pelmora {

enum class TTransferStart {
    Ran,       // the run took the lock, ran and let it go
    NotNew,    // a run or command was active: handed on without a lock of its own
    Locked,    // another holder has the lock; nothing ran
};

class TTransferGate {
public:
    explicit TTransferGate(TTransferRun& run) : Run(run) {}

    // Starts a command of the window or its collection timer. When another process holds
    // the lock, the attention pop-up says so, except for the timer, which tries again at
    // its next tick without a word.
    TTransferStart Start(TTransferCommand command);

    // Runs `body` under the lock; Locked (after the pop-up) when another holder has it.
    TTransferStart RunLocked(const std::function<void()>& body, bool quiet = false);

    // Whether this side holds the lock, i.e. a run of it has not returned yet.
    bool Held() const { return Lock != nullptr; }

private:
    TTransferRun& Run; // Not owned.
    std::unique_ptr<TTransferLock> Lock;
};

} // namespace pelmora
