#include "processing/filter_rules.h"

#include "processing_fixture.h"

#include <filesystem>
#include <fstream>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

const char* const kMessage = "From: \"Jane Roe\" <Jane.Roe@Example.COM>\n"
                             "To: \"Sales Team\" <sales@shop.example>, bob@shop.example\n"
                             "Cc: \"Carol\" <carol@partner.example>\n"
                             "Subject: Invoice 2024-117 overdue\n"
                             "X-Tracking: deep-header-marker\n";

struct TFieldCase {
    const char* Name;
    int Option;
    const char* Match;
    bool Matches;
};

class FilterField : public testing::TestWithParam<TFieldCase> {};

TEST_P(FilterField, MatchesItsFieldOnly) {
    auto message = ParseMail(kMessage, "Please pay the attached invoice.\r\n");
    const TFieldCase& c = GetParam();
    EXPECT_EQ(FilterFieldMatches(*message, c.Option, c.Match), c.Matches)
        << FilterFieldText(*message, c.Option);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FilterField,
    testing::Values(TFieldCase{"FromNamePart", kFilterFrom, "jane r", true},
                    TFieldCase{"FromNameRunsIntoAddress", kFilterFrom, "roejane.roe@", true},
                    TFieldCase{"FromAddressAnyCase", kFilterFrom, "roe@example.com", true},
                    TFieldCase{"FromIgnoresSubject", kFilterFrom, "invoice", false},
                    TFieldCase{"SubjectWord", kFilterSubject, "overdue", true},
                    TFieldCase{"SubjectIgnoresBody", kFilterSubject, "attached", false},
                    TFieldCase{"ToDisplayName", kFilterTo, "sales team", true},
                    TFieldCase{"ToSecondAddress", kFilterTo, "bob@shop", true},
                    TFieldCase{"CcAddress", kFilterTo, "carol@partner.example", true},
                    TFieldCase{"ToIgnoresSender", kFilterTo, "jane", false},
                    TFieldCase{"BodyText", kFilterBody, "attached invoice", true},
                    TFieldCase{"BodyIncludesHeaders", kFilterBody, "deep-header-marker", true},
                    TFieldCase{"UnknownOption", 7, "invoice", false}),
    [](const testing::TestParamInfo<TFieldCase>& info) { return info.param.Name; });

// The text of a multipart message lies in its parts, encoded, as mail programs write it.
TEST(FilterBody, MatchesTheDecodedTextOfMultipartMail) {
    auto message = ParseMail(
        "From: a@example.net\nSubject: plans\nMIME-Version: 1.0\n"
        "Content-Type: multipart/alternative; boundary=\"===============0853==\"\n",
        "--===============0853==\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nUGxlYXNlIHBheSB0aGUgYXR0YWNoZWQgaW52b2ljZS4K\r\n"
        "--===============0853==\r\nContent-Type: text/html; charset=\"utf-8\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n<p>Gr=C3=BC=C3=9Fe, deep=\r\nwater</p>\r\n"
        "--===============0853==--\r\n");
    EXPECT_TRUE(FilterFieldMatches(*message, kFilterBody, "please PAY the attached invoice."));
    EXPECT_TRUE(FilterFieldMatches(*message, kFilterBody, "deepwater"));
    EXPECT_TRUE(FilterFieldMatches(*message, kFilterBody, "subject: PLANS"));
    EXPECT_FALSE(FilterFieldMatches(*message, kFilterBody, "Please pay the invoice"));
}

class FilterRulesTest : public testing::Test {
protected:
    void SetUp() override {
        Dir = NewTestDirectory("flt").string() + "/";
        List = FilterListPath(Dir, 7);
    }
    void TearDown() override { fs::remove_all(Dir); }
    void AddRule(const std::string& name, const TFilterRule& rule) {
        Names.push_back(name);
        ASSERT_TRUE(WriteFilterList(List, Names));
        ASSERT_TRUE(WriteFilterRule(*FilterRulePath(List, 7, name), rule));
    }
    std::string Dir;
    std::string List;
    std::vector<std::string> Names;
};

TEST_F(FilterRulesTest, FilesAreWrittenByteForByte) {
    AddRule(" Invoices ", {1001, 601, kFilterSubject, "invoice", true});
    EXPECT_EQ(SlurpFile(Dir + "7.fdf"), " Invoices \r\n");
    EXPECT_EQ(SlurpFile(Dir + "7_Invoices.flt"),
              "[DEST]\r\nPXID=1001\r\nFXID=601\r\n\r\n[QUERY]\r\nOPTION=1\r\nMATCH=invoice\r\n"
              "STOPPROC=1\r\n");
    std::optional<TFilterRule> rule = ReadFilterRule(Dir + "7_Invoices.flt");
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->Project, 1001);
    EXPECT_EQ(rule->Folder, 601);
    EXPECT_EQ(rule->Option, kFilterSubject);
    EXPECT_EQ(rule->Match, "invoice");
    EXPECT_TRUE(rule->StopProcessing);

    // The empty list leaves no file.
    ASSERT_TRUE(WriteFilterList(List, {}));
    EXPECT_FALSE(fs::exists(List));
}

TEST_F(FilterRulesTest, MissingKeysReadAsDefaults) {
    { std::ofstream(Dir + "7_partial.flt") << "[QUERY]\r\nMATCH=abc\r\n"; }
    std::optional<TFilterRule> rule = ReadFilterRule(Dir + "7_partial.flt");
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->Project, -1);
    EXPECT_EQ(rule->Folder, -1);
    EXPECT_EQ(rule->Option, -1);
    EXPECT_FALSE(rule->StopProcessing);
    EXPECT_FALSE(IsValidFilterRule(*rule));
    EXPECT_FALSE(ReadFilterRule(Dir + "7_none.flt"));
}

TEST_F(FilterRulesTest, LaterMatchWinsUnlessEarlierStops) {
    auto message = ParseMail(kMessage);
    AddRule("first", {1001, 111, kFilterFrom, "example.com", false});
    AddRule("second", {1002, 116, kFilterSubject, "overdue", false});
    TFilterResult result = EvaluateFilters(List, *message, 7);
    EXPECT_TRUE(result.Found);
    EXPECT_EQ(result.Project, 1002);
    EXPECT_EQ(result.Folder, 116);

    // With STOPPROC on the first rule, the second rule's file is not even read: a broken
    // second file changes nothing.
    ASSERT_TRUE(WriteFilterRule(*FilterRulePath(List, 7, "first"),
                                {1001, 111, kFilterFrom, "example.com", true}));
    fs::remove(*FilterRulePath(List, 7, "second"));
    fs::create_directory(*FilterRulePath(List, 7, "second"));
    result = EvaluateFilters(List, *message, 7);
    EXPECT_EQ(result.Project, 1001);
    EXPECT_EQ(result.Folder, 111);
}

TEST_F(FilterRulesTest, InvalidMissingAndNonMatchingRulesAreSkipped) {
    auto message = ParseMail(kMessage);
    AddRule("no target", {998, 111, kFilterFrom, "jane", false});
    AddRule("bad folder", {1001, 110, kFilterFrom, "jane", false});
    AddRule("no match text", {1001, 111, kFilterFrom, "", false});
    AddRule("no option", {1001, 111, -1, "jane", false});
    AddRule("other sender", {1001, 111, kFilterFrom, "john", false});
    Names.push_back("file missing");
    Names.push_back("../../escape");
    ASSERT_TRUE(WriteFilterList(List, Names));
    TFilterResult result = EvaluateFilters(List, *message, 7);
    EXPECT_FALSE(result.Found);
    EXPECT_EQ(result.Project, -1);
    EXPECT_EQ(result.Folder, -1);
}

TEST(FilterRulePath, NamesThatWouldLeaveTheDirectoryAreRefused) {
    EXPECT_EQ(FilterRulePath("/books/3.fdf", 3, "  Work  "), "/books/3_Work.flt");
    for (const char* name : {"", "   ", "..", "a/b", "../x", "tab\tname"})
        EXPECT_FALSE(FilterRulePath("/books/3.fdf", 3, name)) << name;
}

} // namespace
} // namespace pelmora
