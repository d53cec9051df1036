#include "mime/mail_message.h"

#include "mime/mail_date.h"

#include <gtest/gtest.h>

#include <regex>
#include <ostream>
#include <string>

namespace pelmora {
namespace {

TEST(MailMessage, FreshMessageHasDefaults) {
    TMailMessage message;
    EXPECT_EQ(message.OwningMessage, &message);
    EXPECT_EQ(message.Charset, "utf-8");
    EXPECT_EQ(message.TextEncoding, etQuotedPrintable);
    EXPECT_EQ(message.AttachEncoding, etBase64);
    EXPECT_EQ(message.EmbedMethod, emContentLocation);
    EXPECT_EQ(message.ContentLocationBase.back(), '/');
    EXPECT_FALSE(message.BodyStale || message.StructureStale || message.PartMapStale);
    EXPECT_EQ(message.FileCounter, 0);
}

TEST(MailMessage, SenderReplyAndReceiptTargetsRoundTrip) {
    TMailMessage message;
    message.SetSender("Ann Example", "ann@example.com");
    EXPECT_EQ(message.HeaderLines.back(), "From: Ann Example <ann@example.com>");
    EXPECT_EQ(message.GetSender(), (TMailAddress{"Ann Example", "ann@example.com"}));
    message.SetReplyTarget("", "reply@example.com");
    EXPECT_EQ(message.HeaderLines.back(), "Reply-To: <reply@example.com>");
    EXPECT_EQ(message.GetReplyTarget(), (TMailAddress{"", "reply@example.com"}));
    message.SetReceiptTarget("Ann", "ann@example.com");
    EXPECT_EQ(message.GetReceiptTarget(), (TMailAddress{"Ann", "ann@example.com"}));
    message.SetSender("Other", "other@example.com");
    EXPECT_EQ(message.FindHeader("From", 1), -1);
    message.SetSender("Name only", "");
    EXPECT_FALSE(message.HasHeader("From"));
}

TEST(MailMessage, SubjectReadsWholeAndWritesOneEntry) {
    TMailMessage message;
    message.HeaderLines = {"Subject:  a; b=c "};
    EXPECT_EQ(message.GetSubject(), "a; b=c");
    message.SetSubject("caf\xC3\xA9 time");
    EXPECT_EQ(message.HeaderLines, (std::vector<std::string>{"Subject: =?utf-8?Q?caf=C3=A9_time?="}));
    EXPECT_EQ(message.GetSubject(), "caf\xC3\xA9 time");
    // Bytes that are not UTF-8 are labelled as what they are read as, and read back as UTF-8.
    message.SetSubject("caf\xE9 time");
    EXPECT_EQ(message.HeaderLines, (std::vector<std::string>{"Subject: =?windows-1252?Q?caf=E9_time?="}));
    EXPECT_EQ(message.GetSubject(), "caf\xC3\xA9 time");
    message.SetSubject("");
    EXPECT_TRUE(message.HeaderLines.empty());
}

struct TPriorityCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TPriorityCase& row, std::ostream* os) { *os << row.Name; }
    std::string Entry;
    int Expected;
};

class PriorityTest : public testing::TestWithParam<TPriorityCase> {};

TEST_P(PriorityTest, ReadsPriority) {
    TMailMessage message;
    if (!GetParam().Entry.empty()) message.HeaderLines.push_back(GetParam().Entry);
    EXPECT_EQ(message.GetPriority(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PriorityTest,
                         testing::Values(TPriorityCase{"Absent", "", 2},
                                         TPriorityCase{"HighestWithComment", "X-Priority: 1 (Highest)", 0},
                                         TPriorityCase{"CommentFirst", "X-Priority: (Lowest) 5", 4},
                                         TPriorityCase{"QuotedSkipped", "X-Priority: \"x y\" 2", 1},
                                         TPriorityCase{"Normal", "X-Priority: 3", 2},
                                         TPriorityCase{"NotANumber", "X-Priority: high", 2},
                                         TPriorityCase{"Empty", "X-Priority: ", 2}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(MailMessage, SetPriorityWritesOnlyTheNumber) {
    TMailMessage message;
    message.HeaderLines = {"X-Priority: 3 (Normal)"};
    message.SetPriority(0);
    EXPECT_EQ(message.HeaderLines[0], "X-Priority: 1");
    EXPECT_EQ(message.GetPriority(), 0);
}

TEST(MailMessage, DateRoundTripsAndReadsZeroWhenMissing) {
    TMailMessage message;
    EXPECT_EQ(message.GetDate(), 0.0);
    double date = 0;
    ASSERT_TRUE(EncodeDayCount(2025, 7, 14, date));
    message.SetDate(date + 0.5);
    EXPECT_NEAR(message.GetDate(), date + 0.5, 1.0 / 86400);
    message.HeaderLines = {"Date: not a date"};
    EXPECT_EQ(message.GetDate(), 0.0);
}

TEST(MailMessage, NewMessageIdHasStampAndDomain) {
    TMailMessage message;
    message.NewMessageId("PXID1234");
    EXPECT_TRUE(std::regex_match(message.GetMessageId(),
                                 std::regex("<[0-9]{14}\\.[0-9A-F]{1,8}\\.[0-9A-F]{1,8}@PXID1234>")))
        << message.GetMessageId();
    std::string first = message.GetMessageId();
    message.NewMessageId("PXID1234");
    EXPECT_NE(message.GetMessageId(), first);
    EXPECT_EQ(message.FindHeader("Message-ID", 1), -1);
}

TEST(MailMessage, ReceivedHeaderGoesOnTop) {
    TMailMessage message;
    message.HeaderLines = {"Subject: s"};
    message.AddReceivedHeader("me", "pop.example.com", "a@x.org,b@x.org", "Pelmora v.3.0.5");
    ASSERT_EQ(message.HeaderLines.size(), 2u);
    const std::string& received = message.HeaderLines[0];
    const std::string expected = "Received: from me by pop.example.com with Pelmora v.3.0.5 for <a@x.org,b@x.org>; ";
    EXPECT_EQ(received.substr(0, expected.size()), expected);
    EXPECT_NE(ParseMailDate(received.substr(expected.size())), 0.0);
    message.AddReceivedHeader("", "", "", "");
    EXPECT_EQ(message.HeaderLines[0].substr(0, 11), "Received:; ");
}

TEST(MailMessage, ResetMessageEmptiesEverything) {
    TMailMessage message;
    message.ParseText("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: image/png\r\n\r\nx\r\n--b--\r\n",
                      true);
    message.MapParts();
    message.FileCounter = 3;
    message.ResetMessage();
    EXPECT_TRUE(message.HeaderLines.empty());
    EXPECT_TRUE(message.SubParts.empty());
    EXPECT_TRUE(message.Attachments.empty());
    EXPECT_TRUE(message.RawBody.empty());
    EXPECT_EQ(message.MixedContainer, nullptr);
    EXPECT_FALSE(message.BodyStale || message.StructureStale || message.PartMapStale);
    EXPECT_EQ(message.FileCounter, 0);
}

} // namespace
} // namespace pelmora
