#include "processing/unsent_mail.h"

#include "processing/transfer_run.h"
#include "shell/settings.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "store/account_settings.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

namespace pelmora {

namespace {

bool MailWaiting(TWorkspace& work) {
    TShell& shell = work.Shell();
    for (int i = 0; i < work.AccountTree.TopCount(); ++i) {
        TNode* account = work.AccountTree.Top(i);
        if (!IsAccountNode(account))
            continue;
        const AccountSettings details = ReadAccountSettings(account, shell.Text(3, 33));
        for (int project : AccountProjects(details)) {
            const std::string outbox = FolderPath(shell.Dirs().Store, project, kFolderOutbox);
            if (AnyMessageFile(outbox + "*.eml?"))
                return true;
        }
    }
    return false;
}

} // namespace

TUnsentMail AskSendWaitingMail(TWorkspace& work) {
    if (!MailWaiting(work))
        return TUnsentMail::NoneWaiting;
    TShell& shell = work.Shell();
    TSettings& settings = shell.Settings();
    if (settings.GetBool(TSettingKey::HideStillMailWaiting))
        return TUnsentMail::NotAsked;
    shell.PlaySound(TSound::Attention);
    bool dontAsk = false;
    const int answer =
        shell.Ui().AskDialog(shell.Text(1, 262), shell.Text(1, 259), 12, dontAsk, true);
    settings.SetBool(TSettingKey::HideStillMailWaiting, dontAsk);
    return answer == kAskFirst ? TUnsentMail::Send : TUnsentMail::Keep;
}

} // namespace pelmora
