#pragma once
// A data home in a temporary directory with a started shell and a workspace on it. Dummy
// sound files make every sound play, so tests can check which sounds were played.

#include "shell/atomic_file.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/node_helpers.h"
#include "store/workspace.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace pelmora {

inline std::filesystem::path NewTestDirectory(const std::string& tag) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    auto dir = std::filesystem::temp_directory_path() /
               ("pelmora_" + tag + "_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string SlurpFile(const std::string& path) {
    return ReadWholeFile(path).value_or("<missing>");
}

class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Home = NewTestDirectory("ws");
        std::filesystem::create_directories(Home / "Sounds");
        for (const char* sound :
             {"attention", "intro", "click", "popped", "totrash", "goodbye", "newmail"})
            WriteFileAtomically((Home / "Sounds" / (std::string(sound) + ".wav")).string(), "RIFF");
    }
    void TearDown() override {
        Workspace.reset();
        Shell.reset();
        std::filesystem::remove_all(Home);
    }

    // Starts the shell and the workspace without loading any tree.
    void StartBare() {
        TShellOptions options;
        options.ProgramDir = Home.string() + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        ASSERT_TRUE(Shell->FormCreate().Ok);
        Workspace = std::make_unique<TWorkspace>(*Shell);
        Store = Shell->Dirs().Store;
        Books = Shell->Dirs().AddressBooks;
    }
    // The start-up steps of the trees.
    void Start() {
        StartBare();
        Workspace->FormCreateTrees();
        Shell->StartingUp = false;
        Ui.ClearRecords();
    }
    void PutFile(const std::string& path, const std::string& data) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(WriteFileAtomically(path, data));
    }
    // Sounds played since the last ClearRecords, by file name without ".wav".
    std::vector<std::string> Sounds() const {
        std::vector<std::string> names;
        for (const std::string& path : Ui.SoundsPlayed)
            names.push_back(std::filesystem::path(path).stem().string());
        return names;
    }
    TNode* FindNumber(TNodeTree& tree, int number) {
        return tree.FindFirst([number](const TNode& n) { return NodeNumber(n.Text()) == number; });
    }

    std::filesystem::path Home;
    TScriptedUi Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Workspace;
    std::string Store;
    std::string Books;
};

} // namespace pelmora
