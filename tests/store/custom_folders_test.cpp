#include "store/custom_folders.h"

#include "store_fixture.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;

class CustomFoldersTest : public testing::Test {
protected:
    void SetUp() override {
        Store = NewTestDirectory("custom").string() + "/";
        Inbox = Store + "1000/inbox/";
        fs::create_directories(Inbox);
    }
    void TearDown() override { fs::remove_all(Store); }
    void Folder(const std::string& name, std::optional<std::string> label) {
        fs::create_directories(Inbox + name);
        if (label) {
            ASSERT_TRUE(WriteFileAtomically(Inbox + name + "/label.txt", *label));
        }
    }
    std::string Store;
    std::string Inbox;
};

TEST_F(CustomFoldersTest, ScanNamesFoldersAndIgnoresOthers) {
    Folder("600", "Invoices\r\nsecond line");
    Folder("650", std::nullopt);
    Folder("601", "");
    Folder("599", "too low");
    Folder("abc", "not a number");
    Folder("0602", "leading zero");
    ASSERT_TRUE(WriteFileAtomically(Inbox + "603", "a file, not a folder"));
    ASSERT_TRUE(WriteFileAtomically(Inbox + "600/update.txt", "x"));

    TCustomFolderTable table = ScanCustomFolders(Store, 1000, "-not set-");
    EXPECT_EQ(table.At(600)->Name, "Invoices");
    EXPECT_TRUE(table.At(600)->Stale);
    EXPECT_EQ(table.At(650)->Name, "-not set-");
    EXPECT_FALSE(table.At(650)->Stale);
    EXPECT_EQ(table.At(601)->Name, "-not set-"); // an empty label still holds the code
    EXPECT_EQ(table.At(602)->Name, "");
    EXPECT_EQ(table.At(603)->Name, "");
    EXPECT_EQ(table.At(599), nullptr);
    EXPECT_EQ(table.FirstFree, 602);
}

TEST_F(CustomFoldersTest, NoFreeCodeWhenAllAreUsed) {
    for (int code = 600; code <= 900; ++code)
        fs::create_directories(Inbox + std::to_string(code));
    EXPECT_EQ(ScanCustomFolders(Store, 1000, "-not set-").FirstFree, std::nullopt);
    EXPECT_EQ(ScanCustomFolders(Store, 9999, "-not set-").FirstFree, 600); // no inbox at all
}

TEST_F(CustomFoldersTest, StaleMarkerFollowsTheFlag) {
    Folder("700", "Seven hundred");
    TCustomFolderTable table = ScanCustomFolders(Store, 1000, "-not set-");
    ASSERT_TRUE(MarkFolderStale(Store, 1000, 700, table));
    EXPECT_TRUE(table.At(700)->Stale);
    EXPECT_EQ(SlurpFile(Inbox + "700/update.txt"), "Pelmora status file, don't delete!\r\n");
    EXPECT_TRUE(ScanCustomFolders(Store, 1000, "-not set-").At(700)->Stale);
    ASSERT_TRUE(ClearFolderStale(Store, 1000, 700, table));
    EXPECT_FALSE(table.At(700)->Stale);
    EXPECT_FALSE(fs::exists(Inbox + "700/update.txt"));
    EXPECT_FALSE(MarkFolderStale(Store, 1000, kFolderInbox, table));
}

TEST_F(CustomFoldersTest, LabelsAreOneLineOfAtMost255Bytes) {
    Folder("600", std::nullopt);
    ASSERT_TRUE(WriteFolderLabel(Inbox + "600/", std::string(300, 'n') + "\nmore"));
    auto label = ReadFolderLabel(Inbox + "600/");
    ASSERT_TRUE(label);
    EXPECT_EQ(*label, std::string(255, 'n'));
    EXPECT_EQ(ReadFolderLabel(Inbox + "601/"), std::nullopt);
}

} // namespace
} // namespace pelmora
