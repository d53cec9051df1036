#include "processing/transfer_gate.h"

#include "shell/shell_state.h"
#include "store/workspace.h"

namespace pelmora {

TTransferStart TTransferGate::Start(TTransferCommand command) {
    TWorkspace& work = Run.Workspace();
    if (work.Shell().TransferRunning || Held() || work.Busy()) {
        StartTransferCommand(Run, command);
        return TTransferStart::NotNew;
    }
    return RunLocked([&] { StartTransferCommand(Run, command); },
                     command == TTransferCommand::CollectMailTimer);
}

TTransferStart TTransferGate::RunLocked(const std::function<void()>& body, bool quiet) {
    TShell& shell = Run.Workspace().Shell();
    Lock = TTransferLock::TryTake(shell.Dirs().Program);
    if (!Lock) {
        if (!quiet)
            shell.ShowTransferLocked();
        return TTransferStart::Locked;
    }
    // The lock goes with the run, however the run ends.
    struct TRelease {
        std::unique_ptr<TTransferLock>& Held;
        ~TRelease() { Held.reset(); }
    } release{Lock};
    body();
    return TTransferStart::Ran;
}

} // namespace pelmora
