#include "mime/header_fold.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pelmora {
namespace {

struct TFoldCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TFoldCase& row, std::ostream* os) { *os << row.Name; }
    std::string Input;
    std::string Expected;
};

class FoldHeaderTextTest : public testing::TestWithParam<TFoldCase> {};

TEST_P(FoldHeaderTextTest, GivesExpectedLines) { EXPECT_EQ(FoldHeaderText(GetParam().Input), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, FoldHeaderTextTest,
    testing::Values(
        TFoldCase{"ShortLinesKept", "Subject: hi\r\nTo: a@b.c", "Subject: hi\r\nTo: a@b.c\r\n"},
        TFoldCase{"TrailingBreaksDropped", "Subject: hi\r\n\r\n", "Subject: hi\r\n"},
        TFoldCase{"LineBreaksNormalised", "A: 1\nB: 2\rC: 3", "A: 1\r\nB: 2\r\nC: 3\r\n"},
        TFoldCase{"Exactly72Kept", "X: " + std::string(69, 'a'), "X: " + std::string(69, 'a') + "\r\n"},
        TFoldCase{"ToFoldsAfterCommaBefore72",
                  "To: a1@example.com, a2@example.com, a3@example.com, a4@example.com, a5@example.com",
                  "To: a1@example.com, a2@example.com, a3@example.com, a4@example.com,\r\n\ta5@example.com\r\n"},
        TFoldCase{"BreakAtSemicolonKeepsIt",
                  "Content-Type: multipart/mixed;boundary=" + std::string(40, 'b') + ";x=" + std::string(20, 'c'),
                  "Content-Type: multipart/mixed;\r\n\tboundary=" + std::string(40, 'b') + ";x=" +
                      std::string(20, 'c') + "\r\n"},
        TFoldCase{"NoBreakPointLeavesLineWhole", "X: " + std::string(100, 'z'), "X: " + std::string(100, 'z') + "\r\n"},
        TFoldCase{"NoBreakBeforeFirstColonSpace", std::string(80, 'k') + ": v", std::string(80, 'k') + ": v\r\n"},
        TFoldCase{"QuotedSpacesNotBroken",
                  "Subject: \"" + std::string(30, 'a') + " " + std::string(50, 'b') + "\"",
                  "Subject: \"" + std::string(30, 'a') + " " + std::string(50, 'b') + "\"\r\n"},
        TFoldCase{"BreakAfterQuotedName",
                  "From: \"" + std::string(20, 'n') + " " + std::string(40, 'm') + "\" <someone@example.com>",
                  "From: \"" + std::string(20, 'n') + " " + std::string(40, 'm') + "\"\r\n\t<someone@example.com>\r\n"},
        TFoldCase{"EncodedWordNotBroken",
                  "Subject: =?utf-8?Q?" + std::string(30, 'x') + ";" + std::string(30, 'y') + "," + std::string(30, 'z') + "?=",
                  "Subject: =?utf-8?Q?" + std::string(30, 'x') + ";" + std::string(30, 'y') + "," + std::string(30, 'z') +
                      "?=\r\n"},
        TFoldCase{"BreakBeforeEncodedWord",
                  "Subject: " + std::string(20, 'p') + " =?x?Q?" + std::string(30, 'a') + ";" + std::string(30, 'b') + "?=",
                  "Subject: " + std::string(20, 'p') + "\r\n\t=?x?Q?" + std::string(30, 'a') + ";" + std::string(30, 'b') +
                      "?=\r\n"},
        TFoldCase{"RestFoldedAgain",
                  "X: " + std::string(60, 'a') + " " + std::string(60, 'b') + " " + std::string(60, 'c'),
                  "X: " + std::string(60, 'a') + "\r\n\t" + std::string(60, 'b') + "\r\n\t" + std::string(60, 'c') +
                      "\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace pelmora
