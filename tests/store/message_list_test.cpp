#include "store/message_list.h"

#include "shell/settings.h"
#include "store/list_sort.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

struct TCompareCase {
    const char* Name;
    std::string A;
    std::string B;
    int Sign; // of CompareCells(A, B)
};

void PrintTo(const TCompareCase& c, std::ostream* os) { *os << c.Name; }

class CompareCellsTest : public testing::TestWithParam<TCompareCase> {};

int SignOf(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

TEST_P(CompareCellsTest, OrdersLikeTheList) {
    EXPECT_EQ(SignOf(CompareCells(GetParam().A, GetParam().B)), GetParam().Sign);
    EXPECT_EQ(SignOf(CompareCells(GetParam().B, GetParam().A)), -GetParam().Sign);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CompareCellsTest,
    testing::Values(
        // Dates compare by calendar, not by text ("09-..." > "10-..." as text).
        TCompareCase{"DatesAcrossYears", "10-01-2023 09:00", "09-01-2024 08:00", -1},
        TCompareCase{"DatesSameDayByTime", "05-03-2024 14:07", "05-03-2024 09:59", 1},
        TCompareCase{"DateWithoutTime", "05-03-2024", "05-03-2024 00:01", -1},
        TCompareCase{"TimesOnly", "9:05", "10:00", -1},
        TCompareCase{"ZeroDateFirst", "30-12-1899 00:00", "01-01-1900 00:00", -1},
        TCompareCase{"SizesAsNumbers", "001234", "12,000", -1},
        TCompareCase{"NumberBeforeBlank", "20 apples", "100 pears", -1},
        TCompareCase{"EqualNumbers", "000100", "100", 0},
        TCompareCase{"TextIgnoresCaseFirst", "apple", "Banana", -1},
        TCompareCase{"SmallLettersBeforeCapitals", "apple", "Apple", -1},
        TCompareCase{"PrefixFirst", "Re", "Re: hello", -1},
        TCompareCase{"InvalidDateIsText", "32-01-2024 10:00", "31-01-2024 10:00", 1},
        TCompareCase{"DateBeforeNumberBeforeText", "01-01-2024 00:00", "5", -1},
        TCompareCase{"NumberBeforeText", "99", "abc", -1}),
    [](const auto& info) { return std::string(info.param.Name); });

TListRow Row(const std::string& date, const std::string& subject, const std::string& path = "/s/a.eml") {
    TListRow row;
    row.SetCaption(RowCaption(-1, -1, path));
    row.SetSubItems({date, "x@y.z", subject, "000001", ""});
    return row;
}

std::vector<std::string> Subjects(const TMessageList& list) {
    std::vector<std::string> out;
    for (const TListRow& row : list.AllRows())
        out.emplace_back(row.SubItem(2));
    return out;
}

class Recorder : public TMessageListObserver {
public:
    void RowsInserted(int first, int) override { Inserted.push_back(first); }
    void Reset() override { ++Resets; }
    std::vector<int> Inserted;
    int Resets = 0;
};

TEST(MessageListTest, ReplacingOneTextKeepsTheOthers) {
    TListRow row;
    row.SetCells({"    -1-1</s/a.eml>", "01-02-2024 10:00", "Ann", "Hello", "000010", "<id@x>"});
    row.SetSubItem(1, "Bob Longer Name (bob@example.org)");
    row.SetCaption("c");
    row.SetSubItem(3, "");
    row.SetSubItem(2, row.SubItem(0)); // a text of the row itself
    const std::vector<std::string> cells(
        {std::string(row.Cell(0)), std::string(row.Cell(1)), std::string(row.Cell(2)),
         std::string(row.Cell(3)), std::string(row.Cell(4)), std::string(row.Cell(5))});
    EXPECT_EQ(cells, std::vector<std::string>({"c", "01-02-2024 10:00",
                                               "Bob Longer Name (bob@example.org)",
                                               "01-02-2024 10:00", "", "<id@x>"}));
    TListRow copy = row;
    row.SetSubItems({"d", "e", "f", "g", "h"});
    EXPECT_EQ(row.Caption(), "c");
    EXPECT_EQ(row.SubItem(4), "h");
    EXPECT_EQ(copy.SubItem(1), "Bob Longer Name (bob@example.org)");
}

// Rows of a bulk load share their texts: changing one row, or dropping the loader and the
// other rows, leaves every other row's texts as they were.
TEST(MessageListTest, RowsSharingTextsStayIndependent) {
    std::vector<TListRow> rows(3);
    {
        TRowTextBlocks blocks;
        blocks.Expect(3);
        for (size_t i = 0; i < rows.size(); ++i) {
            const std::string n = std::to_string(i);
            blocks.SetCells(rows[i], {"cap" + n, "date" + n, "from" + n, "subject" + n, "", "id"});
        }
    }
    rows[1].SetSubItem(2, rows[1].SubItem(0)); // a text of the row itself
    rows[1].SetCaption("changed");
    TListRow copy = rows[2];
    rows.erase(rows.begin() + 2);
    rows[0].SetSubItems({"a", "b", "c", "d", "e"});
    EXPECT_EQ(rows[0].Caption(), "cap0");
    EXPECT_EQ(rows[0].SubItem(4), "e");
    EXPECT_EQ(rows[1].Caption(), "changed");
    EXPECT_EQ(rows[1].SubItem(2), "date1");
    EXPECT_EQ(rows[1].SubItem(1), "from1");
    EXPECT_EQ(rows[1].SubItem(3), "");
    rows.clear();
    EXPECT_EQ(copy.Caption(), "cap2");
    EXPECT_EQ(copy.SubItem(2), "subject2");
    EXPECT_EQ(copy.SubItem(4), "id");
}

TEST(MessageListTest, HeadingClicksSortNewColumnDescendingThenFlip) {
    TMessageList list;
    list.Add(Row("02-01-2024 10:00", "b"));
    list.Add(Row("01-01-2024 10:00", "c"));
    list.Add(Row("03-01-2024 10:00", "a"));
    list.HeadingClick(1);
    EXPECT_EQ(list.SortColumn(), 1);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(Subjects(list), (std::vector<std::string>{"a", "b", "c"}));
    list.HeadingClick(1);
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(Subjects(list), (std::vector<std::string>{"c", "b", "a"}));
    list.HeadingClick(3);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(Subjects(list), (std::vector<std::string>{"c", "b", "a"}));
}

TEST(MessageListTest, RowsAddedLaterTakeTheirSortedPlace) {
    TMessageList list;
    Recorder recorder;
    list.AddObserver(&recorder);
    list.SetSort(1, true);
    list.Add(Row("01-01-2024 10:00", "first"));
    list.Add(Row("03-01-2024 10:00", "third"));
    list.Add(Row("02-01-2024 10:00", "second"));
    list.Add(Row("02-01-2024 10:00", "second again")); // behind its equal
    EXPECT_EQ(Subjects(list),
              (std::vector<std::string>{"first", "second", "second again", "third"}));
    EXPECT_EQ(recorder.Inserted, (std::vector<int>{0, 1, 1, 2}));
    list.RemoveObserver(&recorder);
}

TEST(MessageListTest, BulkLoadSortsOnceAndReportsOneReset) {
    TMessageList list;
    list.SetSort(3, true);
    Recorder recorder;
    list.AddObserver(&recorder);
    list.BeginBulk();
    for (const char* s : {"d", "b", "a", "c"})
        list.Add(Row("01-01-2024 10:00", s));
    list.EndBulk();
    EXPECT_EQ(Subjects(list), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(recorder.Inserted.empty());
    EXPECT_EQ(recorder.Resets, 1);
    list.RemoveObserver(&recorder);
}

TEST(MessageListTest, SelectionFollowsRemovalsAndInversion) {
    TMessageList list;
    for (int i = 0; i < 6; ++i)
        list.Add(Row("01-01-2024 10:00", std::to_string(i)));
    list.Select(1, true);
    list.Select(3, true);
    list.Select(5, true);
    EXPECT_EQ(list.SelectedCount(), 3);
    EXPECT_EQ(list.FirstSelected(), 1);
    EXPECT_EQ(list.Focused(), 5);
    list.RemoveRows({1, 2});
    EXPECT_EQ(list.SelectedCount(), 2);
    EXPECT_EQ(list.FirstSelected(), 1); // former row 3
    EXPECT_EQ(list.Focused(), 3);
    list.InvertSelection();
    EXPECT_EQ(list.SelectedCount(), 2);
    EXPECT_EQ(Subjects(list)[static_cast<size_t>(list.FirstSelected())], "0");
    list.SelectAll();
    EXPECT_EQ(list.SelectedCount(), 4);
    list.Remove(0);
    EXPECT_EQ(list.SelectedCount(), 3);
}

TEST(MessageListTest, AppendMessageRowBuildsCaptionAndColumns) {
    TMessageList list;
    AppendMessageRow(list, 1234, 2, true, "<m@x>", "/s/1000/sent/_1.eml", "Hi", "To (t@x)",
                     "From (f@x)", "01-02-2024 10:00", 3);
    AppendMessageRow(list, 7, -1, false, "", "/s/1000/inbox/2.eml", "", "To", "From", "", -1);
    EXPECT_EQ(list.Row(0).Caption(), "    23</s/1000/sent/_1.eml>");
    EXPECT_EQ(list.Row(0).SubItem(1), "To (t@x)");
    EXPECT_EQ(list.Row(0).SubItem(3), "001234");
    EXPECT_EQ(list.Row(1).Caption(), "    -1-1</s/1000/inbox/2.eml>");
    EXPECT_EQ(list.Row(1).SubItem(1), "From");
    EXPECT_EQ(list.Row(1).SubItem(3), "000007");
    EXPECT_EQ(FormatSizeColumn(12345678), "12345678");
}

struct TUnreadCase {
    const char* Name;
    const char* Caption;
    bool Unread;
};

void PrintTo(const TUnreadCase& c, std::ostream* os) { *os << c.Name; }

class CaptionUnreadTest : public testing::TestWithParam<TUnreadCase> {};

TEST_P(CaptionUnreadTest, JudgesTheFileName) {
    EXPECT_EQ(CaptionCountsUnread(GetParam().Caption), GetParam().Unread);
}

INSTANTIATE_TEST_SUITE_P(
    Captions, CaptionUnreadTest,
    testing::Values(TUnreadCase{"UnderscoreName", "    2-1</s/1000/inbox/_1.eml>", true},
                    TUnreadCase{"Orphan", "    4-1</s/1000/inbox/1.emlo>", true},
                    TUnreadCase{"OrphanUpperCase", "    4-1</s/1000/inbox/1.EMLO>", true},
                    TUnreadCase{"Read", "    -1-1</s/1000/inbox/1.eml>", false},
                    TUnreadCase{"UnderscoreDirectory", "    -1-1</home/_me/1000/inbox/1.eml>", false},
                    TUnreadCase{"NoPath", "    -1-1", false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MessageListTest, RowPathIsTrimmedTextBetweenBrackets) {
    EXPECT_EQ(RowPath("    2-1< /s/a b.eml >"), "/s/a b.eml");
    EXPECT_EQ(RowPath("no brackets"), "");
    EXPECT_EQ(RowPath("    2-1</s/a.eml>tail>"), "/s/a.eml");
}

TEST(ListSortTest, SortIsKeptInTheRegistry) {
    const fs::path home = fs::temp_directory_path() / ("pelmora_sort_" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    {
        TRegistry registry(home.string() + "/");
        TMessageList list;
        list.SetSort(4, true);
        ASSERT_TRUE(SaveListSort(registry, list));
    }
    TRegistry registry(home.string() + "/");
    TMessageList list;
    LoadListSort(registry, list);
    EXPECT_EQ(list.SortColumn(), 4);
    EXPECT_TRUE(list.Ascending());
    registry.File().WriteInteger("Sort", "SortCol", 42);
    LoadListSort(registry, list);
    EXPECT_EQ(list.SortColumn(), -1);
    fs::remove_all(home);
}

} // namespace
} // namespace pelmora
