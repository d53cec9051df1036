#include "processing/uidl_store.h"

#include "shell/atomic_file.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

struct TUidlCase {
    const char* Name;
    std::string Id;
    bool Valid;
};

class UidlValidity : public ::testing::TestWithParam<TUidlCase> {};

TEST_P(UidlValidity, AcceptsOnlyPrintableIdsUpToSeventy) {
    EXPECT_EQ(IsValidUidl(GetParam().Id), GetParam().Valid);
}

INSTANTIATE_TEST_SUITE_P(Rows, UidlValidity,
                         ::testing::Values(TUidlCase{"Typical", "000000017a3b2c1d", true},
                                           TUidlCase{"Punctuation", "<x.y@z>!~", true},
                                           TUidlCase{"Seventy", std::string(70, 'a'), true},
                                           TUidlCase{"SeventyOne", std::string(71, 'a'), false},
                                           TUidlCase{"Empty", "", false},
                                           TUidlCase{"Blank", "a b", false},
                                           TUidlCase{"LineBreak", "a\r\nb", false},
                                           TUidlCase{"HighByte", "a\xc3\xa9", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(UidlListing, UsableOnlyWhenCompleteAndUnique) {
    EXPECT_TRUE(UsableUidlListing({"", "a", "b"}, 2));
    EXPECT_TRUE(UsableUidlListing({""}, 0));
    EXPECT_FALSE(UsableUidlListing({"", "a", "a"}, 2)) << "duplicates";
    EXPECT_FALSE(UsableUidlListing({"", "a"}, 2)) << "a message without id";
    EXPECT_FALSE(UsableUidlListing({"", "a", ""}, 2));
    EXPECT_FALSE(UsableUidlListing({"", "a", "b c"}, 2));
}

class UidlStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        Home = (fs::temp_directory_path() /
                ("pelmora_uidl_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                   .string() +
               "/";
        fs::remove_all(Home);
        fs::create_directories(Home);
        Path = UidlStorePath(Home, 3);
    }
    void TearDown() override { fs::remove_all(Home); }
    std::string Home;
    std::string Path;
};

TEST_F(UidlStoreTest, SavedIdsComeBackForTheSameMailboxOnly) {
    EXPECT_EQ(Path, Home + "UIDL/3.uidl");
    TUidlStore store;
    EXPECT_FALSE(store.Load(Path, UidlMailbox("Jan", "POP.example.nl")));
    EXPECT_FALSE(store.Existed());
    store.Add("one");
    store.Add("two");
    store.Add("bad id"); // never stored
    ASSERT_TRUE(store.Save());

    TUidlStore again;
    ASSERT_TRUE(again.Load(Path, UidlMailbox("jan", "pop.example.nl")));
    EXPECT_TRUE(again.Existed());
    EXPECT_TRUE(again.Contains("one"));
    EXPECT_TRUE(again.Contains("two"));
    EXPECT_EQ(again.Size(), 2u);

    TUidlStore other;
    EXPECT_FALSE(other.Load(Path, UidlMailbox("jan", "pop.other.nl")));
    EXPECT_FALSE(other.Contains("one"));
}

TEST_F(UidlStoreTest, KeepOnlyForgetsIdsNoLongerListed) {
    TUidlStore store;
    store.Load(Path, "m@h");
    for (const char* id : {"a", "b", "c"})
        store.Add(id);
    store.KeepOnly({"b", "c", "d"});
    EXPECT_FALSE(store.Contains("a"));
    EXPECT_TRUE(store.Contains("b"));
    EXPECT_FALSE(store.Contains("d"));
    EXPECT_EQ(store.Size(), 2u);
}

// A run stopped between marking a message pending and recording its id: the message counts
// as stored only when its file was completed.
TEST_F(UidlStoreTest, PendingMarksResolveByTheFileOnDisk) {
    TUidlStore store;
    store.Load(Path, "m@h");
    store.Add("old");
    ASSERT_TRUE(store.Save());
    const std::string written = Home + "written.eml";
    ASSERT_TRUE(WriteFileAtomically(written, "Subject: x\r\n\r\nbody\r\n"));
    const std::string empty = Home + "empty.eml";
    ASSERT_TRUE(WriteFileAtomically(empty, ""));
    ASSERT_TRUE(store.MarkPending("done", Home + "done.eml"));
    ASSERT_TRUE(store.AddStored("done"));
    ASSERT_TRUE(store.MarkPending("written", written));
    ASSERT_TRUE(store.MarkPending("empty", empty));
    ASSERT_TRUE(store.MarkPending("missing", Home + "missing file.eml"));
    EXPECT_FALSE(store.MarkPending("bad", Home + "two\nlines.eml"));

    TUidlStore again;
    ASSERT_TRUE(again.Load(Path, "m@h"));
    for (const char* id : {"old", "done", "written"})
        EXPECT_TRUE(again.Contains(id)) << id;
    for (const char* id : {"empty", "missing", "bad"})
        EXPECT_FALSE(again.Contains(id)) << id;
    // Saving folds the marks away.
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(ReadWholeFile(Path).value_or(""), "# m@h\ndone\nold\nwritten\n");
}

TEST_F(UidlStoreTest, DamagedFilesCountAsMissing) {
    for (const std::string& text :
         {std::string(""), std::string("no mailbox line\nabc\n"), std::string("\0\0\0", 3)}) {
        fs::create_directories(Home + "UIDL");
        ASSERT_TRUE(WriteFileAtomically(Path, text));
        TUidlStore store;
        EXPECT_FALSE(store.Load(Path, "m@h")) << text;
        EXPECT_EQ(store.Size(), 0u);
    }
}

} // namespace
} // namespace pelmora
