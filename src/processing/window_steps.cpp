#include "processing/window_steps.h"

#include "processing/unsent_mail.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "shell/ui_services.h"
#include "store/workspace.h"

#include <exception>

namespace pelmora {

namespace {

template <typename Hook, typename... Args>
void Call(const Hook& hook, Args&&... args) {
    if (hook)
        hook(std::forward<Args>(args)...);
}

} // namespace

void ActivateMainWindow(TWorkspace& work, const TWindowStepHooks& hooks) {
    TShell& shell = work.Shell();
    shell.Ui().SetBusyCursor(true);
    if (shell.FirstActivationStart()) {
        Call(hooks.HideSplash);
        work.FirstActivationShowDefaultProject();
        shell.FirstActivationChecks();
    }
    Call(hooks.EnableTrees, true);
    shell.Ui().SetBusyCursor(false);
    shell.Animation().Stop();
}

bool CloseMainWindow(TWorkspace& work, const TWindowStepHooks& hooks) {
    TShell& shell = work.Shell();
    if (hooks.MessageWindowsOpen && hooks.MessageWindowsOpen()) {
        shell.PlaySound(TSound::Attention);
        Call(hooks.CascadeMessageWindows);
        return false;
    }
    shell.CloseStartAnimation();
    if (!shell.CloseAskAbortTransfer()) {
        shell.Animation().Stop();
        return false;
    }
    if (!shell.TransferRunning && AskSendWaitingMail(work) == TUnsentMail::Send)
        Call(hooks.SendAllMail);
    shell.CloseSetFlags();
    Call(hooks.FreezeWindow);
    shell.Ui().SetBusyCursor(true);
    shell.Ui().Pump();
    Call(hooks.StorePanelSizes);
    shell.CloseWriteSettings();
    shell.CloseUpdateAutoRun();
    work.FormCloseSaveTrees();
    try {
        Call(hooks.ShowGoodbyePicture);
        shell.ClosePlayGoodbye();
        shell.CloseRemoveTempFiles();
        shell.CloseDeleteMailToFlag();
        shell.CloseFinalWait();
    } catch (const std::exception&) {
    }
    Call(hooks.HideGoodbyePicture);
    shell.Ui().SetBusyCursor(false);
    return true;
}

} // namespace pelmora
