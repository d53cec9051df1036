#include "store/folder_index.h"

#include "shell/atomic_file.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

const std::string kFixtureDir = std::string(PELMORA_TEST_DATA) + "/store/index/";

class FolderIndexTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        Dir = fs::temp_directory_path() /
              ("pelmora_index_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string PathOf(const std::string& name) const { return (Dir / name).string(); }
    static std::string Read(const std::string& path) { return ReadWholeFile(path).value_or("<missing>"); }

    fs::path Dir;
};

TListRow MakeRow(const std::string& path, int state, const std::string& subject) {
    TListRow row;
    row.SetCaption(RowCaption(state, -1, path));
    row.StateIndex = state;
    row.SetSubItems({"01-02-2024 10:00", "a@b.c", subject, "000100", "<id@x>"});
    return row;
}

TEST_F(FolderIndexTest, HandWrittenIndexReadsBackAndIsRewrittenIdentically) {
    TMessageList list;
    const TIndexLoad load = LoadIndex(kFixtureDir + "tree.lst", list);
    ASSERT_TRUE(load.Ok);
    EXPECT_EQ(load.Rows, 4);
    EXPECT_EQ(load.Unread, 2); // "_" file and orphan; "/_x/" is a directory, not the name
    ASSERT_EQ(list.Count(), 4);

    const TListRow& unread = list.Row(0);
    EXPECT_EQ(unread.Caption(), "    2-1</store/1000/inbox/_9122024101500123.eml>");
    EXPECT_EQ(RowPath(unread.Caption()), "/store/1000/inbox/_9122024101500123.eml");
    EXPECT_EQ(unread.SubItem(1), "Ann Smith (ann@example.org)");
    EXPECT_EQ(unread.SubItem(4), "<abc.1@example.org>");
    EXPECT_EQ(unread.StateIndex, 2);
    EXPECT_EQ(unread.ImageIndex, -1);
    EXPECT_EQ(list.Row(1).ImageIndex, 3);
    EXPECT_EQ(list.Row(1).StateIndex, 4);
    EXPECT_EQ(list.Row(1).SubItem(2), "Caf\xc3\xa9 \xc3\xbc" "ber alles");
    EXPECT_EQ(list.Row(2).SubItem(2), std::string(255, 'S'));
    EXPECT_EQ(list.Row(3).SubItem(2), "");

    ASSERT_TRUE(SaveIndex(PathOf("tree.lst"), list));
    EXPECT_EQ(Read(PathOf("tree.lst")), Read(kFixtureDir + "tree.lst"));
    EXPECT_EQ(Read(PathOf("tree.cnt")), Read(kFixtureDir + "tree.cnt"));
    const auto summary = ReadFolderSummary(PathOf("tree.cnt"));
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->Total, 4);
    EXPECT_EQ(summary->Unread, 2);
}

TEST_F(FolderIndexTest, UnusedStringTailsAreIgnored) {
    std::string bytes = Read(kFixtureDir + "tree.lst");
    // Garbage after the caption's text and after an empty sender.
    bytes[200] = 'X';
    bytes[2 * kIndexRecordSize + 512 + 1] = 'Y';
    ASSERT_TRUE(WriteFileAtomically(PathOf("tree.lst"), bytes));
    TMessageList list;
    ASSERT_TRUE(LoadIndex(PathOf("tree.lst"), list).Ok);
    EXPECT_EQ(list.Row(0).Caption(), "    2-1</store/1000/inbox/_9122024101500123.eml>");
    EXPECT_EQ(list.Row(2).SubItem(1), "");
}

struct TBrokenIndex {
    const char* Name;
    std::function<std::string(std::string)> Damage;
};

void PrintTo(const TBrokenIndex& c, std::ostream* os) { *os << c.Name; }

class BrokenIndexTest : public FolderIndexTest,
                        public testing::WithParamInterface<TBrokenIndex> {};

TEST_P(BrokenIndexTest, FailsWithoutCrashing) {
    std::string bytes = GetParam().Damage(Read(kFixtureDir + "tree.lst"));
    ASSERT_TRUE(WriteFileAtomically(PathOf("tree.lst"), bytes));
    TMessageList list;
    EXPECT_FALSE(LoadIndex(PathOf("tree.lst"), list).Ok);
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, BrokenIndexTest,
    testing::Values(
        TBrokenIndex{"TornLastRecord", [](std::string b) { return b.substr(0, b.size() - 100); }},
        TBrokenIndex{"OneStrayByte", [](std::string b) { return b + "x"; }},
        TBrokenIndex{"CaptionCutInsideItsPath",
                     [](std::string b) {
                         // A caption of 255 bytes whose path never closes.
                         b[0] = static_cast<char>(255);
                         for (size_t i = 1; i < 256; ++i)
                             b[i] = i < 10 ? ' ' : (i == 10 ? '<' : 'p');
                         return b;
                     }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FolderIndexTest, MissingIndexAndDirectoryFail) {
    TMessageList list;
    EXPECT_FALSE(LoadIndex(PathOf("none.lst"), list).Ok);
    fs::create_directories(Dir / "dir.lst");
    EXPECT_FALSE(LoadIndex(PathOf("dir.lst"), list).Ok);
    EXPECT_FALSE(SaveIndex(PathOf("missing/tree.lst"), list));
}

TEST_F(FolderIndexTest, EmptyListWritesEmptyIndexAndZeroSummary) {
    TMessageList list;
    ASSERT_TRUE(SaveIndex(PathOf("tree.lst"), list));
    EXPECT_EQ(fs::file_size(PathOf("tree.lst")), 0u);
    EXPECT_EQ(fs::file_size(PathOf("tree.cnt")), kIndexRecordSize);
    const TIndexLoad load = LoadIndex(PathOf("tree.lst"), list);
    EXPECT_TRUE(load.Ok);
    EXPECT_EQ(load.Rows, 0);
}

struct TCutCase {
    const char* Name;
    std::string Text;
    size_t Expected;
};

void PrintTo(const TCutCase& c, std::ostream* os) { *os << c.Name; }

class CutTextTest : public testing::TestWithParam<TCutCase> {};

TEST_P(CutTextTest, CutsAtACharacterBoundary) {
    EXPECT_EQ(CutIndexText(GetParam().Text).size(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CutTextTest,
    testing::Values(TCutCase{"Short", "abc", 3}, TCutCase{"Exactly255", std::string(255, 'a'), 255},
                    TCutCase{"Ascii300", std::string(300, 'a'), 255},
                    // "é" (2 bytes) at 254-255 would be split.
                    TCutCase{"TwoByteStraddles", std::string(254, 'a') + "\xc3\xa9" + "zz", 254},
                    // "€" (3 bytes) at 253-255.
                    TCutCase{"ThreeByteStraddles", std::string(253, 'a') + "\xe2\x82\xac" + "z", 253},
                    TCutCase{"ThreeByteEndsAt255", std::string(252, 'a') + "\xe2\x82\xac" + "z", 255},
                    TCutCase{"StrayContinuationBytes", std::string(250, 'a') + std::string(10, '\x80'),
                             255}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FolderIndexTest, LongTextsAreStoredCut) {
    TMessageList list;
    TListRow row = MakeRow("/s/1000/inbox/1.eml", -1, std::string(400, 'q'));
    list.Add(row);
    ASSERT_TRUE(SaveIndex(PathOf("tree.lst"), list));
    TMessageList back;
    ASSERT_TRUE(LoadIndex(PathOf("tree.lst"), back).Ok);
    EXPECT_EQ(back.Row(0).SubItem(2), std::string(255, 'q'));
}

TEST_F(FolderIndexTest, AppendAddsOneRecordAndCountsIt) {
    fs::copy_file(kFixtureDir + "tree.lst", PathOf("tree.lst"));
    fs::copy_file(kFixtureDir + "tree.cnt", PathOf("tree.cnt"));
    const std::string before = Read(PathOf("tree.lst"));
    ASSERT_TRUE(AppendIndexRow(PathOf("tree.lst"), MakeRow("/s/1000/inbox/_5.eml", 2, "new")));
    const std::string after = Read(PathOf("tree.lst"));
    ASSERT_EQ(after.size(), before.size() + kIndexRecordSize);
    EXPECT_EQ(after.substr(0, before.size()), before);
    auto summary = ReadFolderSummary(PathOf("tree.cnt"));
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->Total, 5);
    EXPECT_EQ(summary->Unread, 3);

    // A summary that does not match the index is recounted from the index.
    fs::remove(PathOf("tree.cnt"));
    ASSERT_TRUE(AppendIndexRow(PathOf("tree.lst"), MakeRow("/s/1000/inbox/6.eml", -1, "read")));
    summary = ReadFolderSummary(PathOf("tree.cnt"));
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->Total, 6);
    EXPECT_EQ(summary->Unread, 3);
}

TEST_F(FolderIndexTest, AppendRefusesATornIndexAndCreatesAMissingOne) {
    ASSERT_TRUE(WriteFileAtomically(PathOf("tree.lst"), std::string(100, 'x')));
    EXPECT_FALSE(AppendIndexRow(PathOf("tree.lst"), MakeRow("/s/a.eml", -1, "x")));
    EXPECT_EQ(fs::file_size(PathOf("tree.lst")), 100u);

    fs::remove(PathOf("tree.lst"));
    ASSERT_TRUE(AppendIndexRow(PathOf("tree.lst"), MakeRow("/s/_a.eml", 2, "x")));
    EXPECT_EQ(fs::file_size(PathOf("tree.lst")), kIndexRecordSize);
    EXPECT_EQ(ReadFolderSummary(PathOf("tree.cnt"))->Unread, 1);
}

TEST_F(FolderIndexTest, ClosingStopsTheWriteAndDropsTheOldIndex) {
    fs::copy_file(kFixtureDir + "tree.lst", PathOf("tree.lst"));
    fs::copy_file(kFixtureDir + "tree.cnt", PathOf("tree.cnt"));
    TMessageList list;
    list.Add(MakeRow("/s/1.eml", -1, "a"));
    bool closing = true;
    TIndexControl control;
    control.Closing = &closing;
    EXPECT_FALSE(SaveIndex(PathOf("tree.lst"), list, control));
    EXPECT_FALSE(fs::exists(PathOf("tree.lst")));
    EXPECT_EQ(Read(PathOf("tree.cnt")), Read(kFixtureDir + "tree.cnt"));
    for (const auto& entry : fs::directory_iterator(Dir))
        EXPECT_TRUE(entry.path().filename() == "tree.cnt") << entry.path(); // no temporary left
}

TEST_F(FolderIndexTest, AbortStopsLoadingWithTheRowsReadSoFar) {
    TMessageList list;
    for (int i = 0; i < 250; ++i)
        list.Add(MakeRow("/s/" + std::to_string(i) + ".eml", -1, "x"));
    ASSERT_TRUE(SaveIndex(PathOf("tree.lst"), list));
    bool abort = true;
    TIndexControl control;
    control.AbortRequested = &abort;
    TMessageList back;
    const TIndexLoad load = LoadIndex(PathOf("tree.lst"), back, control);
    EXPECT_TRUE(load.Ok);
    EXPECT_EQ(load.Rows, kIndexPumpEveryRead);
    EXPECT_EQ(back.Count(), kIndexPumpEveryRead);
}

} // namespace
} // namespace pelmora
