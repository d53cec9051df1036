#include "mime/mail_part.h"

#include "mime/mail_message.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pelmora {
namespace {

struct TReadCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TReadCase& row, std::ostream* os) { *os << row.Name; }
    std::string Entry;
    std::string Header;
    std::string Param; // empty: read the main value
    std::string Expected;
};

class HeaderRead : public testing::TestWithParam<TReadCase> {};

TEST_P(HeaderRead, GivesExpectedText) {
    const TReadCase& c = GetParam();
    TMailMessage message;
    message.HeaderLines = {"X-First: 1", c.Entry};
    std::string got = c.Param.empty() ? message.HeaderValue(c.Header) : message.HeaderParam(c.Header, c.Param);
    EXPECT_EQ(got, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderRead,
    testing::Values(
        TReadCase{"MainValueStopsAtSemicolon", "Content-Type: multipart/mixed; boundary=\"a;b\"", "Content-Type", "",
                  "multipart/mixed"},
        TReadCase{"QuotedParamKeepsSemicolon", "Content-Type: multipart/mixed; boundary=\"a;b\"", "Content-Type",
                  "boundary", "a;b"},
        TReadCase{"NameMatchIgnoresCase", "content-type: text/plain", "Content-Type", "", "text/plain"},
        TReadCase{"ParamNameIgnoresCase", "Content-Type: text/plain; CHARSET = utf-8 ", "Content-Type", "charset",
                  "utf-8"},
        TReadCase{"LaterParam", "Content-Disposition: attachment; size=3; filename=\"a b.txt\"",
                  "Content-Disposition", "filename", "a b.txt"},
        TReadCase{"MissingParam", "Content-Type: text/plain", "Content-Type", "charset", ""},
        TReadCase{"MissingHeader", "Subject: x", "Content-Type", "", ""},
        TReadCase{"PrefixNameNoMatch", "Content-Typer: x", "Content-Type", "", ""},
        TReadCase{"DoubleQuotesStripped", "X-Name: \"quoted\"", "X-Name", "", "quoted"},
        TReadCase{"InnerSingleQuotesStripped", "X-Name: \" 'abc' \"", "X-Name", "", "abc"},
        TReadCase{"SingleQuotesStripped", "X-Name: 'abc'", "X-Name", "", "abc"},
        TReadCase{"BareQuotePairKept", "X-Name: ''", "X-Name", "", "''"},
        TReadCase{"SemicolonInsideQuotesKept", "X-Name: \"a;b\" rest; p=1", "X-Name", "", "\"a;b\" rest"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(HeaderStore, FindHeaderCountsMatchesOnly) {
    TMailMessage message;
    message.HeaderLines = {"Received: a", "Subject: s", "received: b"};
    EXPECT_EQ(message.FindHeader("Received"), 0);
    EXPECT_EQ(message.FindHeader("Received", 1), 2);
    EXPECT_EQ(message.FindHeader("Received", 2), -1);
    EXPECT_TRUE(message.HasHeader("SUBJECT"));
    EXPECT_FALSE(message.HasHeader("Subj"));
}

TEST(HeaderStore, SetValueChangesOnlyTheMainValue) {
    TMailMessage message;
    message.HeaderLines = {"Content-Type: text/plain; charset=\"utf-8\""};
    message.SetHeaderValue("Content-Type", "text/html");
    EXPECT_EQ(message.HeaderLines[0], "Content-Type: text/html; charset=\"utf-8\"");
    message.SetHeaderValue("Subject", "  new  ");
    EXPECT_EQ(message.HeaderLines[1], "Subject: new");
}

TEST(HeaderStore, EmptyValueRemovesFirstEntryOnly) {
    TMailMessage message;
    message.HeaderLines = {"X-A: 1", "X-A: 2", "X-B: 3"};
    message.SetHeaderValue("x-a", "");
    EXPECT_EQ(message.HeaderLines, (std::vector<std::string>{"X-A: 2", "X-B: 3"}));
}

TEST(HeaderStore, SetParamBuildsAndReplaces) {
    TMailMessage message;
    message.SetHeaderParam("Content-Type", "boundary", "\"b1\"");
    EXPECT_EQ(message.HeaderLines.back(), "Content-Type:; boundary=\"b1\"");
    message.SetHeaderValue("Content-Type", "multipart/mixed");
    EXPECT_EQ(message.HeaderLines.back(), "Content-Type: multipart/mixed; boundary=\"b1\"");
    message.SetHeaderParam("Content-Type", "BOUNDARY", " \"b2\" ");
    EXPECT_EQ(message.HeaderLines.back(), "Content-Type: multipart/mixed; boundary=\"b2\"");
    message.SetHeaderParam("Content-Type", "charset", "x");
    EXPECT_EQ(message.HeaderLines.back(), "Content-Type: multipart/mixed; boundary=\"b2\"; charset=x");
    EXPECT_EQ(message.HeaderLines.size(), 1u);
}

TEST(HeaderStore, ValuesCannotStartAnotherField) {
    TMailMessage message;
    message.SetHeaderValue("To", "<a@example.com>\r\nBcc: victim@example.com");
    message.SetHeaderParam("Content-Type", "name", "\"x\nX-Injected: 1\"");
    for (const std::string& entry : message.HeaderLines) EXPECT_EQ(entry.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(message.HeaderLines.size(), 2u);
    message.AddReceivedHeader("a\r\nX-Evil: 1", "b", "", "");
    EXPECT_EQ(message.FullText().find("\r\nX-Evil"), std::string::npos);
}

TEST(MailPart, DestroyingASubPartClearsTheMessageReferences) {
    TMailMessage message;
    TMailPart* part = message.AddSubPart("b");
    message.PlainTextPart = part;
    message.Attachments.push_back(part);
    message.DetachSubPart(part).reset();
    EXPECT_EQ(message.PlainTextPart, nullptr);
    EXPECT_TRUE(message.Attachments.empty());
}

TEST(MailPart, PartWithoutMessageIsNotParsed) {
    TMailPart part(nullptr);
    part.HeaderLines = {"Subject: kept"};
    part.ParseText("Subject: other\r\n\r\nbody", true);
    EXPECT_EQ(part.HeaderLines, (std::vector<std::string>{"Subject: kept"}));
    EXPECT_TRUE(part.RawBody.empty());
}

} // namespace
} // namespace pelmora
