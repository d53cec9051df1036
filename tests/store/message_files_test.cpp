#include "store/message_files.h"

#include "store/store_layout.h"
#include "store_fixture.h"

#include <csignal>
#include <ctime>
#include <set>
#include <sys/resource.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

struct TStateCase {
    const char* Name;
    const char* File;
    int State;
};

class MessageStateTest : public testing::TestWithParam<TStateCase> {};

TEST_P(MessageStateTest, ReadsTheName) {
    EXPECT_EQ(MessageStateFromName(GetParam().File), GetParam().State);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MessageStateTest,
    testing::Values(TStateCase{"Read", "812202621303845.eml", kStateRead},
                    TStateCase{"Check", "812202621303845.emlc", kStateCheck},
                    TStateCase{"Flag", "812202621303845.emlf", kStateFlag},
                    TStateCase{"Orphan", "812202621303845.emlo", kStateOrphan},
                    TStateCase{"OrphanInCapitals", "812202621303845.EMLO", kStateOrphan},
                    TStateCase{"UnreadPrefixWinsOverFlag", "_812202621303845.emlf", kStateUnread},
                    TStateCase{"Unread", "_812202621303845.eml", kStateUnread}),
    [](const auto& info) { return info.param.Name; });

TEST(MessageNameTest, StateChangesRenameByTheRule) {
    EXPECT_EQ(MessageNameForState("812.eml", kStateUnread), "_812.eml");
    EXPECT_EQ(MessageNameForState("_812.eml", kStateFlag), "812.emlf");
    EXPECT_EQ(MessageNameForState("812.EMLF", kStateRead), "812.eml");
    EXPECT_EQ(MessageNameForState("812.emlo", kStateCheck), "812.emlc");
    EXPECT_EQ(MessageNameForState("812.emlc", kStateOrphan), "812.emlo");
    EXPECT_EQ(MessageNameForState("812.txt", kStateRead), std::nullopt);
    EXPECT_EQ(MessageNameForState("812.eml", kStateHighPriority), std::nullopt);
}

TEST(MessageNameTest, MasksMatchLikeTheStoreExpects) {
    EXPECT_TRUE(MatchFileMask("a.eml", "*.eml?"));
    EXPECT_TRUE(MatchFileMask("_a.EMLC", "*.eml?"));
    EXPECT_FALSE(MatchFileMask("a.emlxx", "*.eml?"));
    EXPECT_FALSE(MatchFileMask("a.em", "*.eml?"));
    EXPECT_TRUE(MatchFileMask("1000.addr.backup", "1000.*"));
    EXPECT_FALSE(MatchFileMask("10001.addr", "1000.*"));
    EXPECT_TRUE(IsMessageFileName("x.eml.emlf")); // the extension decides
}

class StoreFilesTest : public testing::Test {
protected:
    void SetUp() override { Dir = NewTestDirectory("files").string() + "/"; }
    void TearDown() override { fs::remove_all(Dir); }
    void Put(const std::string& name, const std::string& data) {
        ASSERT_TRUE(WriteFileAtomically(Dir + name, data));
    }
    std::string Dir;
};

TEST_F(StoreFilesTest, CountsMessagesAndUnread) {
    Put("_1.emlf", "x"); // unread: the prefix wins
    Put("2.EMLO", "x");  // orphans count as unread
    Put("3.eml", "x");
    Put("4.emlc", "x");
    Put("5.eml", ""); // empty files are not messages
    Put("6.txt", "x");
    fs::create_directory(Dir + "7.eml"); // nor are directories
    fs::create_symlink(Dir + "3.eml", Dir + "8.eml"); // nor links, even to a message
    TMessageCounts counts = CountMessageFiles(Dir + "*.eml?");
    EXPECT_EQ(counts.Total, 4);
    EXPECT_EQ(counts.Unread, 2);
    TMessageCounts missing = CountMessageFiles(Dir + "nowhere/*.eml?");
    EXPECT_EQ(missing.Total, 0);
    EXPECT_EQ(missing.Unread, 0);
    EXPECT_TRUE(AnyMessageFile(Dir + "*.eml?"));
    EXPECT_FALSE(AnyMessageFile(Dir + "nowhere/*.eml?"));
    // An empty file, a directory and a link are no waiting message either.
    for (const char* name : {"_1.emlf", "2.EMLO", "3.eml", "4.emlc"})
        fs::remove(Dir + name);
    EXPECT_FALSE(AnyMessageFile(Dir + "*.eml?"));
}

TEST_F(StoreFilesTest, CopiesInBlocksAndHonoursOverwrite) {
    std::string big(5000, 'a');
    big += "tail";
    Put("source.eml", big);
    ASSERT_TRUE(CopyFileBlocks(Dir + "source.eml", Dir + "copy.eml", false));
    EXPECT_EQ(SlurpFile(Dir + "copy.eml"), big);
    Put("source.eml", "new");
    EXPECT_FALSE(CopyFileBlocks(Dir + "source.eml", Dir + "copy.eml", false));
    EXPECT_EQ(SlurpFile(Dir + "copy.eml"), big);
    ASSERT_TRUE(CopyFileBlocks(Dir + "source.eml", Dir + "copy.eml", true));
    EXPECT_EQ(SlurpFile(Dir + "copy.eml"), "new");
    EXPECT_FALSE(CopyFileBlocks(Dir + "missing.eml", Dir + "other.eml", true));
    EXPECT_FALSE(fs::exists(Dir + "other.eml"));
}

TEST_F(StoreFilesTest, CopyOntoAFullDiskFails) {
    Put("source.eml", std::string(20000, 'x'));
    // A file-size limit makes writes fail the way a full disk does.
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool copied = CopyFileBlocks(Dir + "source.eml", Dir + "copy.eml", true);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(copied);
}

TEST_F(StoreFilesTest, StateChangesRenameWithoutReplacing) {
    Put("812.eml", "read message");
    auto unread = ChangeMessageFileState(Dir, "812.eml", kStateUnread);
    ASSERT_EQ(unread, "_812.eml");
    auto flagged = ChangeMessageFileState(Dir, *unread, kStateFlag);
    ASSERT_EQ(flagged, "812.emlf");
    EXPECT_EQ(SlurpFile(Dir + "812.emlf"), "read message");
    EXPECT_EQ(ChangeMessageFileState(Dir, "812.emlf", kStateFlag), "812.emlf");

    Put("812.eml", "another message with the same stem");
    EXPECT_EQ(ChangeMessageFileState(Dir, "812.emlf", kStateRead), std::nullopt);
    EXPECT_EQ(SlurpFile(Dir + "812.eml"), "another message with the same stem");
    EXPECT_EQ(SlurpFile(Dir + "812.emlf"), "read message");
    EXPECT_EQ(ChangeMessageFileState(Dir, "gone.eml", kStateUnread), std::nullopt);
}

TEST_F(StoreFilesTest, NewMessageFilesNeverOverwrite) {
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        auto name = WriteNewMessageFile(Dir, i % 2 ? kStateUnread : kStateOrphan,
                                        "message " + std::to_string(i));
        ASSERT_TRUE(name);
        EXPECT_EQ(MessageStateFromName(*name), i % 2 ? kStateUnread : kStateOrphan);
        EXPECT_EQ(SlurpFile(Dir + *name), "message " + std::to_string(i));
        names.insert(*name);
    }
    EXPECT_EQ(names.size(), 20u);
    EXPECT_EQ(CountMessageFiles(Dir + "*.eml?").Total, 20); // no temporary left behind
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 20);
    EXPECT_EQ(WriteNewMessageFile(Dir + "missing/", kStateRead, "x"), std::nullopt);
}

TEST(MessageStemTest, HasTheDocumentedForm) {
    std::tm local{};
    local.tm_mday = 8;
    local.tm_mon = 11;
    local.tm_year = 2026 - 1900;
    local.tm_hour = 21;
    local.tm_min = 30;
    local.tm_sec = 38;
    local.tm_isdst = -1;
    auto when =
        std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(45);
    EXPECT_EQ(MessageStem(when), "812202621303845");
    local.tm_mday = 11;
    local.tm_mon = 0;
    local.tm_hour = 4;
    local.tm_min = 5;
    local.tm_sec = 6;
    when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    EXPECT_EQ(MessageStem(when), "110120260405060");
}

TEST_F(StoreFilesTest, NewStemsNeverCollide) {
    std::set<std::string> stems;
    for (int i = 0; i < 200; ++i) {
        std::string stem = NewMessageStem(Dir);
        EXPECT_EQ(stem.find_first_not_of("0123456789"), std::string::npos) << stem;
        EXPECT_GE(stem.size(), 14u);
        EXPECT_LE(stem.size(), 17u);
        EXPECT_TRUE(stems.insert(stem).second) << stem;
        if (i % 2 == 0)
            Put("_" + stem + ".eml", "x"); // files of other states block a stem too
    }
    // A stem in use on disk is skipped even when this process never handed it out.
    std::string next = MessageStem(std::chrono::system_clock::now());
    for (int ms = 0; ms < 50; ++ms)
        Put(MessageStem(std::chrono::system_clock::now() + std::chrono::milliseconds(ms)) + ".emlf",
            "x");
    std::string fresh = NewMessageStem(Dir);
    EXPECT_FALSE(fs::exists(Dir + fresh + ".emlf")) << next << " " << fresh;
}

TEST(StoreLayoutTest, FolderPaths) {
    EXPECT_EQ(FolderPath("/s/", 1000, kFolderInbox), "/s/1000/inbox/");
    EXPECT_EQ(FolderPath("/s/", 100000, kFolderOutReceipts), "/s/100000/outreceipts/");
    EXPECT_EQ(FolderPath("/s/", 1000, 650), "/s/1000/inbox/650/");
    EXPECT_EQ(FolderPath("/s/", 1000, 118), "");
    EXPECT_EQ(FolderPath("/s/", 1000, 901), "");
}

} // namespace
} // namespace pelmora
