#pragma once
// A data home with one account (me@example.org) and project 1001, and message windows'
// states on it, for the composition tests.

#include "compose/compose_form.h"
#include "compose/compose_save.h"
#include "processing/processing_fixture.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/store_layout.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pelmora::compose {

class ComposeTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        AccountNode = Workspace->AccountTree.First();
        Workspace->AccountTree.Add(AccountNode, ProjectNodeText(1001, "Work", "#251080"));
        ASSERT_TRUE(EnsureProjectDirectories(Store, 1001));
        SetAccountValue(202, "me@example.org");
        SetAccountValue(203, "Me Myself");
        SetAccountValue(104, "127.0.0.1");
        SetAccountValue(108, "127.0.0.1");
    }
    void SetAccountValue(int code, const std::string& value) {
        SetAccountParameter(*Workspace, AccountNode, code, value);
    }

    TComposeContext Context() const {
        TComposeContext context;
        context.ProjectNumber = 1001;
        context.ProjectName = "Work";
        context.Account = Workspace->ReadAccountSettings(AccountNode);
        context.TempDir = Shell->Dirs().Temp;
        context.StoreDir = Store;
        context.OutboxDir = FolderPath(Store, 1001, kFolderOutbox);
        context.DraftsDir = FolderPath(Store, 1001, kFolderDrafts);
        // The caption the tree shows once the account's parameters have been edited.
        context.Account.AccountName = "Me Myself (me@example.org)";
        context.Accounts = Workspace->AllAccountSettings();
        context.Accounts.front().AccountName = context.Account.AccountName;
        for (const AccountSettings& account : context.Accounts)
            context.AccountNames.push_back(account.AccountName);
        return context;
    }

    // A window's state for a mode, filled as the window fills it.
    std::unique_ptr<TComposeForm> Open(TComposeMode mode, const std::string& file = "",
                                       bool viewOnly = false) {
        auto form = std::make_unique<TComposeForm>();
        form->Context = Context();
        form->Mode = mode;
        form->ViewOnly = viewOnly;
        form->MessageFile = file;
        EXPECT_TRUE(PrepareForm(*form, *Shell));
        return form;
    }

    // A message file in the inbox of 1001.
    std::string Received(const std::string& name, const std::string& text) {
        const std::string path = FolderPath(Store, 1001, kFolderInbox) + name;
        PutFile(path, text);
        return path;
    }

    std::vector<std::string> Files(int folder) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(FolderPath(Store, 1001, folder), ec))
            if (IsMessageFileName(entry.path().filename().string()))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<TListRow> IndexRows(int folder) const {
        TMessageList list;
        LoadIndex(FolderPath(Store, 1001, folder) + "tree.lst", list);
        return list.AllRows();
    }

    TNode* AccountNode = nullptr;
};

// Runs a command and returns what it printed.
inline std::string CommandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

} // namespace pelmora::compose
