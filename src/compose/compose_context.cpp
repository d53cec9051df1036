#include "compose/compose_context.h"

#include "paramtree/markup.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

namespace pelmora::compose {

namespace {

std::string ParameterText(const TNode& node) { return UnescapeParam(ParamValue(node.Text())); }

} // namespace

std::optional<TComposeContext> RefreshComposeContext(TWorkspace& workspace) {
    TShell& shell = workspace.Shell();
    if (shell.AbortRequested)
        return std::nullopt;
    TNode* accountNode = workspace.CurrentAccountNode();
    TNode* projectNode = workspace.CurrentProjectNode();
    const int project = shell.CurrentProject;
    auto refuse = [&]() -> std::optional<TComposeContext> {
        shell.PlaySound(TSound::Popped);
        TPopupRequest popup;
        popup.Caption = "Information";
        popup.Text = shell.Text(1, 108);
        popup.DisplayMs = 5000;
        shell.Ui().ShowPopup(popup);
        return std::nullopt;
    };
    if (!accountNode || project < 999 || project > kLastDefaultProject ||
        workspace.AccountTree.Empty())
        return refuse();
    TComposeContext context;
    context.ProjectNumber = project;
    context.Account = workspace.ReadAccountSettings(accountNode);
    if (context.Account.AccountNumber <= 0 && !projectNode)
        return refuse();

    const std::string& yes = shell.Text(3, 33);
    auto isYes = [&](const TNode& node) {
        const std::string text = node.Text();
        return text.find(yes) != std::string::npos || text.find("Yes") != std::string::npos;
    };
    int found = 0;
    const TNodeTree& tree = workspace.ProjectTree;
    for (int i = 0; i < tree.TopCount() && found < 10; ++i) {
        const TNode& node = *tree.Top(i);
        switch (NodeNumber(node.Text())) {
        case kNodeProjectName: context.ProjectName = ParameterText(node); break;
        case kNodeProjectAdmin: context.ProjectAdministrator = ParameterText(node); break;
        case kNodeRequestReceipts: context.RequestReceipts = isYes(node); break;
        case kNodeTrackingNumbers:
            context.GenerateTrackingNumbers = isYes(node);
            if (context.GenerateTrackingNumbers && node.FirstChild())
                context.TrackingNumberStyle = ParameterText(*node.FirstChild());
            break;
        case kNodeProjectDescription: context.ProjectDescription = ParameterText(node); break;
        case kNodeProjectSignature: context.ProjectSignature = ParameterText(node); break;
        case kNodeAddSignature: context.AddSignature = isYes(node); break;
        case kNodeProjectWebpage: context.ProjectWebPage = ParameterText(node); break;
        case kNodeStationery: context.StationeryFile = ParameterText(node); break;
        default: continue;
        }
        ++found;
    }
    if (context.ProjectName.empty() && projectNode)
        context.ProjectName = PlainCaption(CaptionBase(projectNode->Text()));
    context.ComposeHtml = shell.Checks().ComposeHTML;

    const TDirectories& dirs = shell.Dirs();
    context.TempDir = dirs.Temp;
    context.StoreDir = dirs.Store;
    context.AddressBookDir = dirs.AddressBooks;
    context.TemplatesDir = dirs.Templates;
    context.ProgramDir = dirs.Program;
    if (const TNode* folder = tree.Selected()) {
        context.CurrentFolderCode = NodeNumber(folder->Text());
        context.CurrentFolderDir = FolderPath(dirs.Store, project, context.CurrentFolderCode);
    }
    context.OutboxDir = FolderPath(dirs.Store, project, kFolderOutbox);
    context.DraftsDir = FolderPath(dirs.Store, project, kFolderDrafts);
    context.Accounts = workspace.AllAccountSettings();
    for (const AccountSettings& account : context.Accounts)
        context.AccountNames.push_back(account.AccountName);
    return context;
}

std::optional<AccountSettings> FindAccount(const TComposeContext& context,
                                           const std::string& accountText) {
    if (accountText.empty())
        return std::nullopt;
    for (const AccountSettings& account : context.Accounts) {
        if (account.AccountName.find(accountText) != std::string::npos)
            return account;
    }
    return std::nullopt;
}

} // namespace pelmora::compose
