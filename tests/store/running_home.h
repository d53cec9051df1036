#pragma once
// The program running on a data home of its own in a temporary directory: shell, workspace
// and message list, the default project shown. Dummy sound files make every sound play.

#include "shell/atomic_file.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/folder_index.h"
#include "store/folder_listing.h"
#include "store/folder_repair.h"
#include "store/message_files.h"
#include "store/message_transfer.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace fs = std::filesystem;

constexpr int kProject = 100000;

inline void Put(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(WriteFileAtomically(path, data));
}

inline std::string Slurp(const std::string& path) { return ReadWholeFile(path).value_or("<missing>"); }

// Every file below a directory (symbolic links as "-> target") by relative path.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string relative = fs::relative(it->path(), root).string();
        if (it->is_symlink())
            files[relative] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            files[relative] = Slurp(it->path().string());
    }
    return files;
}

inline fs::path FreshDirectory(const std::string& tag) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    const fs::path dir = fs::temp_directory_path() /
                         ("pelmora_fr_" + tag + "_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The program running on one data home, its default project shown.
class TRunningHome {
public:
    explicit TRunningHome(const fs::path& home) : Home(home) {
        fs::create_directories(Home / "Sounds");
        for (const char* sound :
             {"attention", "intro", "click", "popped", "totrash", "goodbye", "newmail"})
            WriteFileAtomically((Home / "Sounds" / (std::string(sound) + ".wav")).string(), "RIFF");
        TShellOptions options;
        options.ProgramDir = Home.string() + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        Started = Shell->FormCreate().Ok;
        Workspace = std::make_unique<TWorkspace>(*Shell);
        View = std::make_unique<TFolderView>(*Workspace);
        Workspace->FormCreateTrees();
        Shell->StartingUp = false;
        Workspace->AccountTree.Select(Workspace->AccountTree.FindFirst(
            [](const TNode& n) { return NodeNumber(n.Text()) == kProject; }));
        Workspace->FolderTreeClick();
        Ui.ClearRecords();
    }
    ~TRunningHome() {
        View.reset();
        Workspace.reset();
        Shell.reset();
    }

    std::string Dir(int code) const { return FolderPath(Shell->Dirs().Store, kProject, code); }
    void ShowFolder(int code) {
        Workspace->ProjectTree.Select(Workspace->ProjectTree.FindFirst(
            [code](const TNode& n) { return NodeNumber(n.Text()) == code && n.Level() <= 1; }));
        View->ProjectTreeClick();
    }
    int RowOf(const std::string& name) const {
        for (int i = 0; i < View->List.Count(); ++i) {
            if (fs::path(RowPath(View->List.Row(i).Caption())).filename() == name)
                return i;
        }
        return -1;
    }
    void Select(const std::vector<std::string>& names) {
        View->List.ClearSelection();
        for (const std::string& name : names) {
            const int row = RowOf(name);
            ASSERT_GE(row, 0) << name;
            View->List.Select(row, true);
        }
    }
    std::set<std::string> Files(int code) const {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Dir(code), ec)) {
            if (IsMessageFileName(entry.path().filename().string()))
                names.insert(entry.path().filename().string());
        }
        return names;
    }
    // True when the folder's index names only files of the folder.
    bool IndexIsOwn(int code) const {
        TMessageList list;
        return LoadIndex(Dir(code) + "tree.lst", list).Ok && IndexRowsInFolder(list, Dir(code));
    }
    // The counts refresh needs an account with an address.
    void GiveAddress() {
        TNode* account = Workspace->AccountTree.Top(0);
        Workspace->AccountTree.SetText(account, AccountNodeText("001", "Me", "me@example.org"));
    }
    void PickSent() {
        View->Hooks.ChooseDestination = [](TNodeTree&) {
            return PickerFolderText(kProject, kFolderSent, "Sent");
        };
    }

    fs::path Home;
    TScriptedUi Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Workspace;
    std::unique_ptr<TFolderView> View;
    bool Started = false;
    std::vector<std::string> Opened; // files given to message windows
};

} // namespace pelmora
