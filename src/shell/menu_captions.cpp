// Captions of the main window's menus and popup menus, by component name.
#include "shell/shell_state.h"

#include <array>

namespace pelmora {

namespace {

// A caption is text Module/Slot, optionally followed by Joiner and text Module2/Slot2, or a
// fixed caption when Module is negative.
struct TCaptionDef {
    std::string_view Component;
    int Module;
    int Slot;
    std::string_view Joiner = {};
    int Module2 = -1;
    int Slot2 = -1;
    std::string_view Fixed = {};
};

constexpr std::array kCaptions = {
    // Top-level menus
    TCaptionDef{"MenuFile", 1, 136},
    TCaptionDef{"MenuDisplay", 1, 137},
    TCaptionDef{"MenuSettings", 1, 117},
    TCaptionDef{"MenuAccounts", 1, 118},
    TCaptionDef{"MenuAnsweringMachine", 1, 13},
    TCaptionDef{"MenuProjects", 1, 290},
    TCaptionDef{"MenuArchive", 1, 134},
    TCaptionDef{"MenuMailCommands", 1, 140},
    TCaptionDef{"MenuView", 1, 1},
    TCaptionDef{"MenuHelp", 1, 100},
    // File
    TCaptionDef{"MenuPrint", 1, 235},
    TCaptionDef{"MenuExit", 1, 133},
    // Display
    TCaptionDef{"MenuShowAddressBook", 3, 42},
    TCaptionDef{"MenuShowBlackList", 1, 120},
    TCaptionDef{"MenuShowlastMailLog", 1, 121},
    TCaptionDef{"MenuShowLogFile", 1, 48},
    TCaptionDef{"MenuPurgeMailLogFile", 1, 49},
    TCaptionDef{"MenuBiggerfont", 1, 5, ": ", 1, 128},
    TCaptionDef{"MenuSmallerFont", 1, 5, ": ", 1, 129},
    TCaptionDef{"ProjectTreeBiggerFont", 1, 6, ": ", 1, 128},
    TCaptionDef{"ProjectTreeSmallerFont", 1, 6, ": ", 1, 129},
    TCaptionDef{"MessageListBiggerFont", 1, 7, ": ", 1, 128},
    TCaptionDef{"MessageListSmallerFont", 1, 7, ": ", 1, 129},
    TCaptionDef{"MenuRestoreFont", 1, 130},
    // Settings ("MenuActivepickup" is composed with the minutes)
    TCaptionDef{"MenuComposeHTML", 1, 145},
    TCaptionDef{"MenuComposePLain", 1, 146},
    TCaptionDef{"MenuAutoAddAddrbook", 1, 53},
    TCaptionDef{"MenuAutoAddProjAddrbook", 1, 54},
    TCaptionDef{"MenuAutorun", 1, 139},
    TCaptionDef{"MenuStopplayingsillysounds", 1, 132},
    TCaptionDef{"MenuShowNewMailPopUp", 1, 59},
    TCaptionDef{"MenuAutoConnect", 1, 55},
    TCaptionDef{"MenuAutoDisconnect", 1, 56},
    TCaptionDef{"MenuMailStorageFolder", 1, 30},
    TCaptionDef{"MenuTempStorageFolder", 1, 31},
    TCaptionDef{"MenuShowPorjectNumbers", 1, 28},
    TCaptionDef{"MenuRestorePanels", 1, 131},
    // Accounts
    TCaptionDef{"MenuAddAccount", 1, 119},
    TCaptionDef{"MenuDefineMailFilterRules", 1, 102},
    TCaptionDef{"MenuDeleteCurrentAccount", 1, 114},
    TCaptionDef{"MenuSortProjects", 3, 41, " ", 1, 290},
    TCaptionDef{"MenuSortAccounts", 3, 41, " ", 1, 314},
    // Answering Machine
    TCaptionDef{"MenuAMSettings", -1, -1, {}, -1, -1, "Settings"},
    TCaptionDef{"MenuAMALLON", 1, 14},
    TCaptionDef{"MenuAMALLOFF", 1, 15},
    TCaptionDef{"MenuAMnormal", 1, 16},
    // Projects
    TCaptionDef{"MenuAddNewProject", 1, 289},
    TCaptionDef{"MenuDeleteProject", 1, 300},
    TCaptionDef{"MenuAddCusomtFolder", 1, 111},
    TCaptionDef{"MenuRenameCustomFolder", 1, 113},
    TCaptionDef{"MenuDeleteCustomFolder", 1, 112},
    TCaptionDef{"MenuProjectAddressBook", 1, 293},
    TCaptionDef{"MenuAddAddressFromMain", 3, 37},
    TCaptionDef{"MenuAddManually", 3, 43},
    TCaptionDef{"MenuEditAddress", 3, 39},
    TCaptionDef{"MenuUpdatewithMain", 3, 38},
    TCaptionDef{"ShowAddressBook1", -1, -1, {}, -1, -1, "ShowAddressBook"},
    TCaptionDef{"MenuRemoveProjectAddress", 3, 40},
    // Archive
    TCaptionDef{"MenuBackupSelectedproject", 1, 301},
    TCaptionDef{"MenuBackupAllProjects", 1, 58},
    TCaptionDef{"MenuBackupSelectedMessages", 1, 40},
    TCaptionDef{"MenuImportBackup", 1, 138},
    TCaptionDef{"MenuDeleteBackup", 1, 208},
    TCaptionDef{"MenuFindMessagesinBackups", 1, 207},
    TCaptionDef{"MenuFindMessagesArchive", 1, 135},
    // Mail Commands
    TCaptionDef{"MenuSendReceiveforAll", 1, 263},
    TCaptionDef{"MenuSendRetrieveMailforSelected", 1, 142},
    TCaptionDef{"MenuRetrieveMailforAll", 1, 143},
    TCaptionDef{"MenuRetrieveMailforSelected", 1, 144},
    TCaptionDef{"MenuSendMailforAllAccounts", 1, 265},
    TCaptionDef{"MenuSendMailforSelectedAccount", 1, 267},
    TCaptionDef{"MenuShowTransfer", 1, 52},
    TCaptionDef{"MenuFindSenderorSubject", 1, 195},
    TCaptionDef{"MenuSearchinall", 1, 196},
    TCaptionDef{"MenuSearchAgain", 1, 194},
    // View
    TCaptionDef{"MenuCloseALLwindows", 1, 29},
    TCaptionDef{"MenuCasdadeAllWindows", 1, 0},
    // Help
    TCaptionDef{"HelpfileMenu", 1, 100},
    TCaptionDef{"MenuWebsite", 1, 209},
    TCaptionDef{"menuCredits", 1, 210},
    TCaptionDef{"MenuLegenda", -1, -1, {}, -1, -1, "Legenda"},
    // Account-tree popup menu
    TCaptionDef{"FMSendandRetrieve", 1, 173},
    TCaptionDef{"FMRetrieveMail", 1, 174},
    TCaptionDef{"FMSendMail", 1, 175},
    TCaptionDef{"FMAddNewProject", 1, 289},
    TCaptionDef{"FMRestoreProjectBackup", 1, 138},
    TCaptionDef{"FMDefineFilterRules", 1, 102},
    TCaptionDef{"FMDeleteAccountandallFolders", 1, 114},
    // Project-tree popup menu
    TCaptionDef{"PMAddNewFolder", 1, 111},
    TCaptionDef{"PMRemoveCustomFolder", 1, 112},
    TCaptionDef{"PMChangeName", 1, 113},
    TCaptionDef{"PMEmptyTrash", 1, 79},
    TCaptionDef{"PMBackupProject", 1, 301},
    TCaptionDef{"PMDeleteProject", 1, 300},
    TCaptionDef{"PMShowAddressBook", 3, 42},
    TCaptionDef{"PMSelectAddressFromAddressbook", 3, 37},
    TCaptionDef{"PMEnterAddressManually", 3, 43},
    TCaptionDef{"PMenuEditMainaddrr", 3, 39},
    TCaptionDef{"PMUpdatewMain", 3, 38},
};

} // namespace

std::string TShell::MenuCaption(std::string_view component) const {
    if (component == "MenuActivepickup") {
        return ActivePickupCaption();
    }
    for (const TCaptionDef& def : kCaptions) {
        if (def.Component != component) {
            continue;
        }
        if (def.Module < 0) {
            return std::string(def.Fixed);
        }
        std::string caption = Text(def.Module, def.Slot);
        if (def.Module2 >= 0) {
            caption += std::string(def.Joiner) + Text(def.Module2, def.Slot2);
        }
        return caption;
    }
    return {};
}

} // namespace pelmora
