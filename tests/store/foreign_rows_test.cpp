// Commands on the rows of the message list touch only files of the listed folder: a data
// home copied with its indexes (whose rows still name the original home's files), a
// hand-written index row naming a file of the user, and a symbolic link inside a folder
// never make a command read, rename, move, copy, overwrite or delete anything outside.

#include "running_home.h"

#include "store/folder_index.h"
#include "store/folder_repair.h"
#include "store/message_state.h"
#include "store/message_transfer.h"

#include <functional>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

std::string Message(const std::string& id, const std::string& body,
                    const std::string& extraHeaders = "") {
    return "From: Ann <ann@example.org>\r\nTo: Bob <bob@example.net>\r\nSubject: " + id +
           "\r\nDate: Tue, 05 Mar 2024 14:07:09 +0000\r\nMessage-ID: <" + id +
           "@example.org>\r\n" + extraHeaders + "\r\n" + body + "\r\n";
}

std::string WithAttachment(const std::string& id, const std::string& body) {
    return "From: Dan <dan@example.org>\r\nTo: x@example.net\r\nSubject: " + id +
           "\r\nMessage-ID: <" + id +
           "@example.org>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n" +
           body +
           "\r\n--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
           "Content-Disposition: attachment; filename=\"a.pdf\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0=\r\n--b--\r\n";
}

// One command of the message list, run on the selected rows of a folder.
struct TRowCommand {
    const char* Name;
    int Folder;
    std::vector<std::string> Names; // rows to select in the copied home
    std::function<void(TRunningHome&, const fs::path& scratch)> Run;
    // What the command must have done to the copy's own files.
    std::function<void(TRunningHome&, const fs::path& scratch)> CheckCopy;
};

void PrintTo(const TRowCommand& command, std::ostream* out) { *out << command.Name; }

std::vector<TRowCommand> RowCommands() {
    return {
        {"Delete", kFolderInbox, {"2.eml"},
         [](TRunningHome& h, const fs::path&) { h.View->MenuDeleteClick(); },
         [](TRunningHome& h, const fs::path&) {
             EXPECT_FALSE(h.Files(kFolderInbox).count("2.eml"));
             EXPECT_EQ(Slurp(h.Dir(kFolderTrash) + "2.eml"), Message("two", "copy body"));
         }},
        {"PermanentDelete", kFolderTrash, {"t1.eml"},
         [](TRunningHome& h, const fs::path&) {
             h.Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
             h.View->MenuDeleteClick();
         },
         [](TRunningHome& h, const fs::path&) {
             EXPECT_EQ(h.Files(kFolderTrash), (std::set<std::string>{"t2.eml"}));
         }},
        {"Move", kFolderInbox, {"2.eml"},
         [](TRunningHome& h, const fs::path&) {
             h.PickSent();
             h.View->MenuMoveClick();
         },
         [](TRunningHome& h, const fs::path&) {
             EXPECT_FALSE(h.Files(kFolderInbox).count("2.eml"));
             EXPECT_EQ(Slurp(h.Dir(kFolderSent) + "2.eml"), Message("two", "copy body"));
         }},
        {"Copy", kFolderInbox, {"2.eml"},
         [](TRunningHome& h, const fs::path&) {
             h.PickSent();
             h.View->MenuCopyClick();
         },
         [](TRunningHome& h, const fs::path&) {
             EXPECT_TRUE(h.Files(kFolderInbox).count("2.eml"));
             EXPECT_EQ(Slurp(h.Dir(kFolderSent) + "2.eml"), Message("two", "copy body"));
         }},
        {"StateChange", kFolderInbox, {"_1.eml"},
         [](TRunningHome& h, const fs::path&) { h.View->ChangeMessageState(kToggleRead, false); },
         [](TRunningHome& h, const fs::path&) {
             EXPECT_EQ(h.Files(kFolderInbox), (std::set<std::string>{"1.eml", "2.eml", "3.eml"}));
         }},
        {"QuickView", kFolderInbox, {"_1.eml"},
         [](TRunningHome& h, const fs::path&) { h.View->QuickViewClick(); },
         [](TRunningHome& h, const fs::path&) {
             ASSERT_EQ(h.Ui.Popups.size(), 1u);
             EXPECT_NE(h.Ui.Popups[0].Request.Text.find("copy body"), std::string::npos);
             EXPECT_TRUE(h.Files(kFolderInbox).count("1.eml")); // read now
         }},
        {"Open", kFolderInbox, {"_1.eml"},
         [](TRunningHome& h, const fs::path&) {
             h.View->Hooks.OpenMessageWindow = [&h](const std::string& path, int, bool) {
                 h.Opened.push_back(path);
             };
             h.View->OpenClick();
         },
         [](TRunningHome& h, const fs::path&) {
             ASSERT_EQ(h.Opened.size(), 1u);
             EXPECT_EQ(h.Opened[0], h.Dir(kFolderInbox) + "_1.eml");
             EXPECT_TRUE(h.Files(kFolderInbox).count("1.eml"));
         }},
        {"SaveToFile", kFolderInbox, {"2.eml"},
         [](TRunningHome& h, const fs::path& scratch) {
             h.Ui.SaveFileAnswers.push_back((scratch / "saved.txt").string());
             h.View->SaveToFileClick();
         },
         [](TRunningHome&, const fs::path& scratch) {
             EXPECT_EQ(Slurp((scratch / "saved.txt").string()), Message("two", "copy body"));
         }},
        {"RemoveAttachments", kFolderInbox, {"3.eml"},
         [](TRunningHome& h, const fs::path&) {
             h.Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
             h.View->RemoveAllAttachmentsClick();
         },
         [](TRunningHome& h, const fs::path&) {
             const std::string after = Slurp(h.Dir(kFolderInbox) + "3.eml");
             EXPECT_EQ(after.find("a.pdf"), std::string::npos);
             EXPECT_NE(after.find("copy body"), std::string::npos);
         }},
        {"EmptyTrash", kFolderTrash, {},
         [](TRunningHome& h, const fs::path&) {
             h.Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
             h.View->EmptyTrashClick();
         },
         [](TRunningHome& h, const fs::path&) { EXPECT_TRUE(h.Files(kFolderTrash).empty()); }},
    };
}

std::string CommandName(const testing::TestParamInfo<std::tuple<TRowCommand, bool>>& info) {
    return std::string(std::get<0>(info.param).Name) +
           (std::get<1>(info.param) ? "_OnRowsOfTheOriginal" : "_AfterListing");
}

// --- A copied data home ---

// The second parameter: the list still holds rows read from the copied index (naming the
// original's files) when the command runs, as when a listing was stopped before its check.
class CopiedHomeTest : public testing::TestWithParam<std::tuple<TRowCommand, bool>> {
protected:
    void SetUp() override {
        Original = FreshDirectory("orig");
        Copy = FreshDirectory("copy");
        Scratch = FreshDirectory("scratch");
        {
            TRunningHome home(Original);
            ASSERT_TRUE(home.Started);
            Put(home.Dir(kFolderInbox) + "_1.eml", Message("one", "original body"));
            Put(home.Dir(kFolderInbox) + "2.eml", Message("two", "original body"));
            Put(home.Dir(kFolderInbox) + "3.eml", WithAttachment("three", "original body"));
            Put(home.Dir(kFolderTrash) + "t1.eml", Message("t1", "original body"));
            Put(home.Dir(kFolderTrash) + "t2.eml", Message("t2", "original body"));
            fs::create_directories(home.Dir(kFolderSent));
            for (int code : {kFolderInbox, kFolderTrash, kFolderSent})
                home.ShowFolder(code); // writes the indexes, rows naming the original's files
        }
        fs::copy(Original, Copy, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        // The copy's messages read differently, so a test sees which file a command used.
        const std::string store = (Copy / "Projects").string() + "/";
        const std::string inbox = FolderPath(store, kProject, kFolderInbox);
        const std::string trash = FolderPath(store, kProject, kFolderTrash);
        Put(inbox + "_1.eml", Message("one", "copy body"));
        Put(inbox + "2.eml", Message("two", "copy body"));
        Put(inbox + "3.eml", WithAttachment("three", "copy body"));
        Put(trash + "t1.eml", Message("t1", "copy body"));
        Put(trash + "t2.eml", Message("t2", "copy body"));
        for (int code : {kFolderInbox, kFolderTrash})
            CopiedIndexes[code] = Slurp(FolderPath(store, kProject, code) + "tree.lst");
        Before = Snapshot(Original);
        Copied = std::make_unique<TRunningHome>(Copy);
        ASSERT_TRUE(Copied->Started);
        ASSERT_EQ(Copied->Shell->Dirs().Store, store);
    }
    void TearDown() override {
        Copied.reset();
        for (const fs::path& dir : {Original, Copy, Scratch})
            fs::remove_all(dir);
    }

    fs::path Original, Copy, Scratch;
    std::unique_ptr<TRunningHome> Copied;
    std::map<std::string, std::string> Before;
    std::map<int, std::string> CopiedIndexes;
};

TEST_P(CopiedHomeTest, CommandsInTheCopyNeverTouchTheOriginal) {
    const auto& [command, rowsOfOriginal] = GetParam();
    TRunningHome& home = *Copied;
    // The index as copied names the original's files.
    const std::string copiedIndex = (Scratch / "copied.lst").string();
    Put(copiedIndex, CopiedIndexes[command.Folder]);
    TMessageList copiedRows;
    ASSERT_TRUE(LoadIndex(copiedIndex, copiedRows).Ok);
    ASSERT_GT(copiedRows.Count(), 0);
    ASSERT_FALSE(IndexRowsInFolder(copiedRows, home.Dir(command.Folder)));

    home.ShowFolder(command.Folder);
    EXPECT_TRUE(home.IndexIsOwn(command.Folder)) << "the listing rebuilt the copy's index";
    if (rowsOfOriginal) {
        ASSERT_TRUE(LoadIndex(copiedIndex, home.View->List).Ok);
        ASSERT_EQ(RowPath(home.View->List.Row(0).Caption()).rfind(Original.string(), 0), 0u);
    }
    home.Select(command.Names);
    home.Ui.ClearRecords();
    std::map<int, std::string> indexes;
    for (int code : {kFolderInbox, kFolderTrash, kFolderSent})
        indexes[code] = Slurp(home.Dir(code) + "tree.lst");

    command.Run(home, Scratch);

    EXPECT_EQ(Snapshot(Original), Before) << "the original data home changed";
    command.CheckCopy(home, Scratch);
    for (const auto& [code, index] : indexes) {
        // Every index the command wrote names the copy's own files only.
        if (Slurp(home.Dir(code) + "tree.lst") != index) {
            EXPECT_TRUE(home.IndexIsOwn(code)) << code;
        }
    }
    for (int row = 0; row < home.View->List.Count(); ++row) {
        EXPECT_EQ(RowPath(home.View->List.Row(row).Caption()).rfind(Copy.string(), 0), 0u)
            << "row " << row << " of the shown list";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CopiedHomeTest,
                         testing::Combine(testing::ValuesIn(RowCommands()), testing::Bool()),
                         CommandName);

// --- Rows naming files outside the folder ---

class ForeignRowTest : public testing::TestWithParam<TRowCommand> {
protected:
    void SetUp() override {
        Root = FreshDirectory("home");
        Outside = Root / "elsewhere";
        Home = std::make_unique<TRunningHome>(Root / "home");
        ASSERT_TRUE(Home->Started);
        // Files of the user that no command may touch; the "trash" in a name passes the
        // permanent deletion's own test of the path.
        Put((Outside / "2.eml").string(), Message("two", "private"));
        Put((Outside / "trash" / "t1.eml").string(), Message("t1", "private"));
        Put((Outside / "victim.eml").string(), Message("victim", "private"));
        for (int code : {kFolderInbox, kFolderTrash}) {
            const std::string prefix = code == kFolderTrash ? "t" : "";
            Put(Home->Dir(code) + prefix + "1.eml", Message(prefix + "one", "own body"));
            Put(Home->Dir(code) + prefix + "2.eml", Message(prefix + "two", "own body"));
            // A link inside the folder to a file of the user.
            fs::create_symlink(Outside / "victim.eml", Home->Dir(code) + "5.eml");
        }
        fs::create_directories(Home->Dir(kFolderSent));
        OutsideBefore = Snapshot(Outside);
    }
    void TearDown() override {
        Home.reset();
        fs::remove_all(Root);
    }
    // Appends a row naming `path` to the shown list and selects it with the others.
    void AddForeignRow(const std::string& path, const std::string& id) {
        const int row = AppendMessageRow(Home->View->List, 100, kStateUnread, false,
                                         "<" + id + "@example.org>", path, id, "", "Ann",
                                         "05-03-2024 14:07", kImageAttachment);
        Home->View->List.Select(row, true);
    }
    void ExpectOutsideUntouched() {
        EXPECT_EQ(Snapshot(Outside), OutsideBefore);
        for (int code : {kFolderInbox, kFolderTrash}) {
            const std::string link = Home->Dir(code) + "5.eml";
            EXPECT_TRUE(fs::is_symlink(link)) << link;
        }
        for (int code : {kFolderInbox, kFolderTrash, kFolderSent}) {
            for (const std::string& name : Home->Files(code)) {
                if (fs::is_symlink(Home->Dir(code) + name))
                    continue;
                EXPECT_EQ(Slurp(Home->Dir(code) + name).find("private"), std::string::npos)
                    << code << "/" << name;
            }
        }
        EXPECT_FALSE(fs::exists(Root / "saved.txt"));
        for (const TPopupRecord& popup : Home->Ui.Popups)
            EXPECT_EQ(popup.Request.Text.find("private"), std::string::npos);
    }

    fs::path Root, Outside;
    std::unique_ptr<TRunningHome> Home;
    std::map<std::string, std::string> OutsideBefore;
};

TEST_P(ForeignRowTest, HandWrittenIndexRowsAndLinksNeverTouchFilesOutside) {
    const TRowCommand& command = GetParam();
    TRunningHome& home = *Home;
    const std::string dir = home.Dir(command.Folder);
    const std::string prefix = command.Folder == kFolderTrash ? "t" : "";
    // As many rows as the folder has message files (the link is none), one of them naming
    // a file of the same name outside the store.
    TMessageList crafted;
    AppendMessageRow(crafted, 10, kStateRead, false, "<x@example.org>", dir + prefix + "1.eml",
                     "one", "", "Ann", "05-03-2024 14:07", -1);
    AppendMessageRow(crafted, 10, kStateRead, false, "<" + prefix + "two@example.org>",
                     (Outside / (command.Folder == kFolderTrash ? "trash/t1.eml" : "2.eml")).string(),
                     "two", "", "Ann", "05-03-2024 14:07", -1);
    ASSERT_TRUE(SaveIndex(dir + "tree.lst", crafted));

    home.ShowFolder(command.Folder);
    EXPECT_TRUE(home.IndexIsOwn(command.Folder)) << "the listing rebuilt the index";
    EXPECT_EQ(home.View->List.Count(), 2);

    // Rows naming the user's files reach the list after the listing's check.
    home.View->List.ClearSelection();
    AddForeignRow((Outside / "victim.eml").string(), "victim");
    AddForeignRow((Outside / (command.Folder == kFolderTrash ? "trash/t1.eml" : "2.eml")).string(),
                  "private");
    AddForeignRow(dir + "5.eml", "victim");
    home.Ui.ClearRecords();
    home.Ui.SaveFileAnswers.push_back((Root / "saved.txt").string());
    home.Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    home.Ui.AskAnswers.push_back({kAskFirst, std::nullopt});

    command.Run(home, Root);

    ExpectOutsideUntouched();
    EXPECT_TRUE(home.IndexIsOwn(command.Folder));
    for (int row = 0; row < home.View->List.Count(); ++row)
        EXPECT_TRUE(home.View->RowFileInFolder(row, kProject, command.Folder)) << row;
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, ForeignRowTest, testing::ValuesIn(RowCommands()),
                         [](const testing::TestParamInfo<TRowCommand>& info) {
                             return std::string(info.param.Name);
                         });

// --- The check itself ---

struct TInFolderCase {
    const char* Name;
    std::string Path;   // below the test directory
    bool Nested;
    bool Expected;
};

class FileInFolderTest : public testing::TestWithParam<TInFolderCase> {};

TEST_P(FileInFolderTest, JudgesTheResolvedPath) {
    const fs::path root = FreshDirectory("check");
    Put((root / "store/inbox/1.eml").string(), "a");
    Put((root / "store/inbox/sub/2.eml").string(), "b");
    Put((root / "outside/3.eml").string(), "c");
    fs::create_symlink(root / "outside/3.eml", root / "store/inbox/link.eml");
    fs::create_symlink(root / "store/inbox/1.eml", root / "store/inbox/inner.eml");
    fs::create_directory_symlink(root / "store", root / "alias");
    fs::create_directory_symlink(root / "outside", root / "store/inbox/door");
    const TInFolderCase& c = GetParam();
    EXPECT_EQ(IsFileInFolder((root / c.Path).string(), (root / "store/inbox/").string(), c.Nested),
              c.Expected);
    fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileInFolderTest,
    testing::Values(
        TInFolderCase{"FileOfTheFolder", "store/inbox/1.eml", false, true},
        TInFolderCase{"SameFolderSpelledThroughALink", "alias/inbox/1.eml", false, true},
        TInFolderCase{"DotDotBackIntoTheFolder", "store/inbox/sub/../1.eml", false, true},
        TInFolderCase{"DotDotOutOfTheFolder", "store/inbox/../../outside/3.eml", false, false},
        TInFolderCase{"FileOutside", "outside/3.eml", false, false},
        TInFolderCase{"LinkToAFileOutside", "store/inbox/link.eml", false, false},
        TInFolderCase{"LinkToAFileInside", "store/inbox/inner.eml", false, false},
        TInFolderCase{"ThroughALinkedDirectory", "store/inbox/door/3.eml", true, false},
        TInFolderCase{"SubfolderWhenNotNested", "store/inbox/sub/2.eml", false, false},
        TInFolderCase{"SubfolderWhenNested", "store/inbox/sub/2.eml", true, true},
        TInFolderCase{"MissingFile", "store/inbox/9.eml", false, false},
        TInFolderCase{"Directory", "store/inbox/sub", true, false}),
    [](const testing::TestParamInfo<TInFolderCase>& info) { return std::string(info.param.Name); });

} // namespace
} // namespace pelmora
