// Folders whose index disagrees with their files (a program killed between writing a
// message file and its index row) show the right counts without a manual refresh.

#include "running_home.h"

#include "store/custom_folders.h"

#include <functional>

namespace pelmora {
namespace {

std::string Message(const std::string& id) {
    return "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\nSubject: " + id +
           "\r\nMessage-ID: <" + id + "@example.org>\r\n\r\nHello\r\n";
}

// Writes the index of a folder from its files, as a listing does.
void IndexFromFiles(const std::string& dir) { ASSERT_TRUE(RebuildFolderIndex(dir, kFolderInbox)); }

struct TAgreeCase {
    const char* Name;
    std::function<void(const std::string& dir)> Make;
    bool Agrees;
};

class FolderIndexAgreesTest : public testing::TestWithParam<TAgreeCase> {};

TEST_P(FolderIndexAgreesTest, ComparesIndexAndSummaryWithTheFiles) {
    const fs::path root = FreshDirectory("agree");
    const std::string dir = (root / "inbox").string() + "/";
    fs::create_directories(dir);
    GetParam().Make(dir);
    EXPECT_EQ(FolderIndexAgrees(dir), GetParam().Agrees);
    fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderIndexAgreesTest,
    testing::Values(
        TAgreeCase{"EmptyFolderWithoutIndex", [](const std::string&) {}, true},
        TAgreeCase{"IndexWrittenFromTheFiles",
                   [](const std::string& dir) {
                       Put(dir + "_1.eml", Message("a"));
                       Put(dir + "2.emlo", Message("b"));
                       Put(dir + "3.eml", Message("c"));
                       IndexFromFiles(dir);
                   },
                   true},
        TAgreeCase{"FilesWithoutIndex",
                   [](const std::string& dir) { Put(dir + "1.eml", Message("a")); }, false},
        TAgreeCase{"FileWrittenAfterItsIndex",
                   [](const std::string& dir) {
                       Put(dir + "1.eml", Message("a"));
                       IndexFromFiles(dir);
                       ASSERT_TRUE(WriteNewMessageFile(dir, kStateUnread, Message("b")));
                   },
                   false},
        TAgreeCase{"RenamedToUnreadAfterItsIndex",
                   [](const std::string& dir) {
                       Put(dir + "1.eml", Message("a"));
                       IndexFromFiles(dir);
                       fs::rename(dir + "1.eml", dir + "_1.eml");
                   },
                   false},
        TAgreeCase{"SummaryMissing",
                   [](const std::string& dir) {
                       Put(dir + "1.eml", Message("a"));
                       IndexFromFiles(dir);
                       fs::remove(dir + "tree.cnt");
                   },
                   false},
        TAgreeCase{"TornIndex",
                   [](const std::string& dir) {
                       Put(dir + "1.eml", Message("a"));
                       IndexFromFiles(dir);
                       fs::resize_file(dir + "tree.lst", kIndexRecordSize + 7);
                   },
                   false},
        TAgreeCase{"LinksAndEmptyFilesAreNoMessages",
                   [](const std::string& dir) {
                       Put(dir + "1.eml", Message("a"));
                       Put(dir + "2.eml", "");
                       fs::create_symlink(dir + "1.eml", dir + "3.eml");
                       IndexFromFiles(dir);
                   },
                   true}),
    [](const testing::TestParamInfo<TAgreeCase>& info) { return std::string(info.param.Name); });

class KilledWriteTest : public testing::Test {
protected:
    void SetUp() override { Root = FreshDirectory("killed"); }
    void TearDown() override { fs::remove_all(Root); }
    std::string InboxCaption(TRunningHome& home) {
        TNode* inbox = FindTopLevel(home.Workspace->ProjectTree, kFolderInbox);
        return inbox ? inbox->Text() : std::string();
    }
    fs::path Root;
};

TEST_F(KilledWriteTest, StartRepairsFoldersSoTheTreesCountTheFile) {
    std::string store;
    {
        TRunningHome home(Root);
        ASSERT_TRUE(home.Started);
        store = home.Shell->Dirs().Store;
        Put(home.Dir(kFolderInbox) + "1.eml", Message("a"));
        Put(home.Dir(kFolderInbox) + "_2.eml", Message("b"));
        home.ShowFolder(kFolderInbox);
        // A custom folder that was marked for a rebuild when the program ended.
        fs::create_directories(home.Dir(601));
        WriteFolderLabel(home.Dir(601), "Clients");
        Put(home.Dir(601) + "1.eml", Message("c"));
        TCustomFolderTable scratch;
        MarkFolderStale(store, kProject, 601, scratch);
        // Another behind a gap in the numbers, and an entry of the inbox that is no folder.
        fs::create_directories(home.Dir(750));
        WriteFolderLabel(home.Dir(750), "Suppliers");
        Put(home.Dir(750) + "1.eml", Message("e"));
        MarkFolderStale(store, kProject, 750, scratch);
        Put(home.Dir(kFolderInbox) + "700", "not a folder");
        // Killed after the message file was written, before its row.
        ASSERT_TRUE(WriteNewMessageFile(home.Dir(kFolderInbox), kStateUnread, Message("d")));
    }
    fs::create_directories(store + "Backups"); // not a project: passed over

    const TIndexRepair repair = RepairStoreIndexes(store);
    EXPECT_EQ(repair.Rebuilt, 3);
    EXPECT_EQ(repair.Failed, 0);
    const auto summary = ReadFolderSummary(FolderPath(store, kProject, kFolderInbox) + "tree.cnt");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->Total, 3);
    EXPECT_EQ(summary->Unread, 2);
    EXPECT_FALSE(fs::exists(FolderPath(store, kProject, 601) + "update.txt"));
    EXPECT_FALSE(fs::exists(FolderPath(store, kProject, 750) + "update.txt"));
    EXPECT_EQ(RepairStoreIndexes(store).Rebuilt, 0) << "a second start finds nothing to do";

    TRunningHome again(Root);
    again.GiveAddress();
    again.View->RefreshCounts();
    EXPECT_NE(InboxCaption(again).find("</font> (3/2)"), std::string::npos) << InboxCaption(again);
}

TEST_F(KilledWriteTest, ListingCountsAFileWithoutRowAndMendsAStaleSummary) {
    TRunningHome home(Root);
    ASSERT_TRUE(home.Started);
    const std::string inbox = home.Dir(kFolderInbox);
    Put(inbox + "1.eml", Message("a"));
    home.ShowFolder(kFolderInbox);
    ASSERT_TRUE(WriteNewMessageFile(inbox, kStateUnread, Message("b")));
    home.ShowFolder(kFolderInbox);
    EXPECT_EQ(home.View->List.Count(), 2);
    EXPECT_NE(InboxCaption(home).find("</font> (2/1)"), std::string::npos) << InboxCaption(home);
    EXPECT_TRUE(FolderIndexAgrees(inbox));

    // Killed between writing "tree.lst" and "tree.cnt": the index is right, the summary not.
    ASSERT_TRUE(WriteFolderSummary(inbox + "tree.cnt", {1, 0}));
    home.ShowFolder(kFolderInbox);
    home.GiveAddress();
    home.View->RefreshCounts(); // the counts refresh reads the summaries
    EXPECT_NE(InboxCaption(home).find("</font> (2/1)"), std::string::npos) << InboxCaption(home);
    EXPECT_TRUE(FolderIndexAgrees(inbox));
}

} // namespace
} // namespace pelmora
