#pragma once
// TComposeContext: what a message window needs to know about the main window's selection
// (the project, its account, its parameters, the directories), taken as a snapshot just
// before the window opens. The window keeps its own copy for its whole life, so changing the
// selection in the main window never disturbs an open window.

#include "store/account_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace pelmora {
class TWorkspace;
}

namespace pelmora::compose {

struct TComposeContext {
    int ProjectNumber = 0;
    int ReservedCount = 0;
    AccountSettings Account;
    bool AddSignature = false;
    bool GenerateTrackingNumbers = false;
    bool ComposeHtml = false;
    bool RequestReceipts = false;
    std::string ProjectName;
    std::string ProjectAdministrator;
    std::string StationeryFile;
    std::string ProjectDescription;
    std::string TrackingNumberStyle;
    std::string ProjectSignature;
    std::string TempDir;
    std::string StoreDir;
    std::string AddressBookDir;
    std::string TemplatesDir;
    std::string CurrentFolderDir;
    std::string OutboxDir;
    std::string DraftsDir;
    std::string ProjectWebPage;
    std::string ProgramDir;
    std::vector<std::string> ProjectAddresses;
    std::vector<std::string> AccountNames;
    // Beyond the window's own needs: the folder code selected in the project tree, and every
    // account's settings (a changed sending account files the message in that account's
    // default project; a reply to all leaves out the user's own addresses).
    int CurrentFolderCode = -1;
    std::vector<AccountSettings> Accounts;
};

// Takes the snapshot from the main window's state. Fails (std::nullopt) while an abort is
// requested, and when no account or project is selected or the numbers are out of range;
// the latter plays the popped sound and shows "Please Select a Project first!".
std::optional<TComposeContext> RefreshComposeContext(TWorkspace& workspace);

// The settings of the account whose caption contains `accountText` (the first in tree
// order); std::nullopt when none does.
std::optional<AccountSettings> FindAccount(const TComposeContext& context,
                                           const std::string& accountText);

} // namespace pelmora::compose
