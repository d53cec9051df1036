// One message window's work as a one-shot process, for scripts/bench-compose.sh:
//
//   compose_once prepare HOME           makes a data home with one account and project 1001
//   compose_once view HOME MESSAGE      opens MESSAGE in a view window's state, as a double
//                                       click does (the pictures its HTML names written into
//                                       the window's private directory); prints the number of
//                                       attachments, of pictures written and the HTML's length
//   compose_once save HOME ATTACHMENT   saves a new message carrying ATTACHMENT into drafts;
//                                       prints the written file
//
// The attachments counted are the rows of the attachments window (embedded pictures are not
// among them). The data home is made once beforehand, so a timed run pays for what opening a window pays
// for: starting the shell on the home, reading the message, filling the form.
#include "compose/attachment_list.h"
#include "compose/compose_form.h"
#include "compose/compose_save.h"
#include "processing_fixture.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace pelmora;
using namespace pelmora::compose;

constexpr int kProject = 1001;

struct THome {
    TScriptedUi Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Workspace;

    bool Start(const std::string& home) {
        TShellOptions options;
        options.ProgramDir = home + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        if (!Shell->FormCreate().Ok)
            return false;
        Workspace = std::make_unique<TWorkspace>(*Shell);
        Workspace->FormCreateTrees();
        Shell->StartingUp = false;
        return true;
    }

    // The snapshot the main window hands a new window when project 1001 is selected.
    TComposeContext Context() const {
        TComposeContext context;
        context.ProjectNumber = kProject;
        context.ProjectName = "Work";
        context.Account = Workspace->ReadAccountSettings(Workspace->AccountTree.First());
        context.TempDir = Shell->Dirs().Temp;
        context.StoreDir = Shell->Dirs().Store;
        context.OutboxDir = FolderPath(context.StoreDir, kProject, kFolderOutbox);
        context.DraftsDir = FolderPath(context.StoreDir, kProject, kFolderDrafts);
        context.CurrentFolderDir = FolderPath(context.StoreDir, kProject, kFolderInbox);
        context.CurrentFolderCode = kFolderInbox;
        // The caption the account tree shows once the account's parameters have been edited.
        context.Account.AccountName = "Me Myself (me@example.org)";
        context.Accounts = Workspace->AllAccountSettings();
        context.Accounts.front().AccountName = context.Account.AccountName;
        for (const AccountSettings& account : context.Accounts)
            context.AccountNames.push_back(account.AccountName);
        return context;
    }
};

int Prepare(const std::string& home) {
    std::filesystem::create_directories(home);
    THome h;
    if (!h.Start(home))
        return 1;
    TNode* account = h.Workspace->AccountTree.First();
    h.Workspace->AccountTree.Add(account, ProjectNodeText(kProject, "Work", "#251080"));
    if (!EnsureProjectDirectories(h.Shell->Dirs().Store, kProject))
        return 1;
    SetAccountParameter(*h.Workspace, account, 202, "me@example.org");
    SetAccountParameter(*h.Workspace, account, 203, "Me Myself");
    SetAccountParameter(*h.Workspace, account, 104, "127.0.0.1");
    SetAccountParameter(*h.Workspace, account, 108, "127.0.0.1");
    return h.Workspace->SaveAccountTree() ? 0 : 1;
}

int View(const std::string& home, const std::string& file) {
    THome h;
    if (!h.Start(home))
        return 1;
    TComposeForm form;
    form.Context = h.Context();
    form.Mode = ModeOpen;
    form.ViewOnly = true;
    form.MessageFile = file;
    if (!PrepareForm(form, *h.Shell) || !form.LoadError.empty()) {
        std::fprintf(stderr, "compose_once: %s did not open: %s\n", file.c_str(),
                     form.LoadError.c_str());
        return 1;
    }
    std::size_t written = 0;
    for (const auto& [cid, path] : form.CidFiles)
        written += std::filesystem::exists(path) ? 1 : 0;
    // The rows the attachments window lists: the embedded pictures are not among them.
    const TAttachmentList list(form.Message, form.WorkDir(), true);
    std::printf("attachments=%d pictures=%zu html=%zu\n", list.Count(), written,
                form.HtmlText.size());
    return 0;
}

int Save(const std::string& home, const std::string& attachment) {
    THome h;
    if (!h.Start(home))
        return 1;
    TComposeForm form;
    form.Context = h.Context();
    form.Mode = ModeNew;
    if (!PrepareForm(form, *h.Shell))
        return 1;
    form.To = "Bob (bob@example.net)";
    form.Subject = "The figures";
    form.PlainText = "Here they are.\r\n";
    TAttachmentList list(form.Message, form.WorkDir(), false);
    if (list.Add({attachment}) != 1)
        return 1;
    const TFileResult result = SaveMessage(form, *h.Shell);
    if (!result.Written) {
        for (const TPopupRecord& popup : h.Ui.Popups)
            std::fprintf(stderr, "compose_once: %s\n", popup.Request.Text.c_str());
        return 1;
    }
    std::printf("%s\n", result.Target.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 2 ? argv[1] : "";
    if (command == "prepare" && argc == 3)
        return Prepare(argv[2]);
    if (command == "view" && argc == 4)
        return View(argv[2], argv[3]);
    if (command == "save" && argc == 4)
        return Save(argv[2], argv[3]);
    std::fprintf(stderr, "usage: compose_once prepare HOME | view HOME MESSAGE | save HOME FILE\n");
    return 2;
}
