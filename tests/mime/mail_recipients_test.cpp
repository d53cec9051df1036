#include "mime/mail_recipients.h"

#include "mime/mail_message.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace pelmora {
namespace {

struct TListCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TListCase& row, std::ostream* os) { *os << row.Name; }
    std::string Value;
    std::vector<TMailAddress> Expected;
};

class AddressListParse : public testing::TestWithParam<TListCase> {};

TEST_P(AddressListParse, GivesEntries) { EXPECT_EQ(ParseAddressList(GetParam().Value), GetParam().Expected); }

// A message's recipient lists read the common shapes by a shorter way, and give up on it in the
// middle of a line when another shape follows: the entries must be the same either way.
TEST_P(AddressListParse, HeaderGivesTheSameEntries) {
    TMailMessage message;
    message.ParseText("To: " + GetParam().Value + "\r\n\r\n", true);
    std::vector<TMailAddress> read;
    for (int i = 0; i < message.ToRecipients.Count(); ++i)
        read.push_back({message.ToRecipients.NameAt(i), message.ToRecipients.AddressAt(i)});
    EXPECT_EQ(read, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressListParse,
    testing::Values(
        TListCase{"QuotedCommaNameBareAndBracketed",
                  " \"Doe, John\" <jd@example.com>, bare@example.com; <br@example.com>",
                  {{"Doe, John", "jd@example.com"}, {"", "bare@example.com"}, {"", "br@example.com"}}},
        TListCase{"UnquotedName", "John Doe <jd@example.com>", {{"John Doe", "jd@example.com"}}},
        TListCase{"NameInParentheses", "jd@example.com (John Doe)", {{"John Doe", "jd@example.com"}}},
        TListCase{"EncodedName", "=?utf-8?Q?J=C3=B6rg?= <j@example.com>", {{"J\xC3\xB6rg", "j@example.com"}}},
        TListCase{"SpacesInsideBracketsDropped", "<a @example.com >", {{"", "a@example.com"}}},
        TListCase{"TrailingSeparatorAddsNothing", "a@example.com; ", {{"", "a@example.com"}}},
        TListCase{"DoubledSeparatorAddsNothing", "a@x.org,, b@x.org", {{"", "a@x.org"}, {"", "b@x.org"}}},
        TListCase{"EmptyGroupNamesNobody", "undisclosed-recipients:;", {}},
        TListCase{"GroupMembersAreRecipients", "Team: a@x.org, \"B\" <b@x.org>;, c@x.org",
                  {{"", "a@x.org"}, {"B", "b@x.org"}, {"", "c@x.org"}}},
        TListCase{"EscapedQuoteInName", "\"Sam \\\"Q\\\" Lee\" <s@x.org>", {{"Sam \"Q\" Lee", "s@x.org"}}},
        TListCase{"CommentsAroundAngleAddress", "(team) Ann (work) <ann@x.org> (note)", {{"Ann", "ann@x.org"}}},
        TListCase{"NestedCommentAsName", "ann@x.org (Ann (work))", {{"Ann (work)", "ann@x.org"}}},
        TListCase{"PaddedQuotedNameTrimmed", "\"  Ann Lee  \" <a@x.org>", {{"Ann Lee", "a@x.org"}}},
        TListCase{"SpaceRunsInNameMadeOne", "Ann \t  Lee   <a@x.org>", {{"Ann Lee", "a@x.org"}}},
        TListCase{"RawLatin1NameAndAddress", "J\xF6rg <j\xF6@x.org>", {{"J\xC3\xB6rg", "j\xC3\xB6@x.org"}}},
        TListCase{"ObsoleteRouteDropped", "<@relay.x.org,@r2.x.org:user@x.org>", {{"", "user@x.org"}}},
        TListCase{"EncodedWordInsideText", "Ann =?utf-8?Q?M=C3=BCller?= Lee <a@x.org>",
                  {{"Ann M\xC3\xBCller Lee", "a@x.org"}}},
        TListCase{"SimpleEntriesThenAComment", "a@x.org, \"B\" <b@x.org>,\r\n (c) d@x.org",
                  {{"", "a@x.org"}, {"B", "b@x.org"}, {"c", "d@x.org"}}},
        TListCase{"WordsWithoutBracketsSqueezed", "John Smith, a@x.org", {{"", "JohnSmith"}, {"", "a@x.org"}}},
        TListCase{"QuotedNameAlone", "\"Ann Lee\", a@x.org", {{"Ann Lee", ""}, {"", "a@x.org"}}},
        TListCase{"UnclosedAngle", "Ann <a@x.org", {{"Ann", "a@x.org"}}},
        TListCase{"ControlCharactersKept", "Ann\x01Lee <a\x02@x.org>, b\x7F@x.org",
                  {{"Ann\x01Lee", "a\x02@x.org"}, {"", "b\x7F@x.org"}}},
        TListCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TSenderCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TSenderCase& row, std::ostream* os) { *os << row.Name; }
    std::string Value;
    TMailAddress Expected;
};

class SenderParse : public testing::TestWithParam<TSenderCase> {};

TEST_P(SenderParse, GivesPair) { EXPECT_EQ(ParseSenderValue(GetParam().Value), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SenderParse,
    testing::Values(TSenderCase{"QuotedNameAngleAddress", "\"John Doe\" <jd@example.com>", {"John Doe", "jd@example.com"}},
                    TSenderCase{"PlainNameAngleAddress", "John Doe <jd@example.com>", {"John Doe", "jd@example.com"}},
                    TSenderCase{"AddressThenComment", "jd@example.com (John Doe)", {"John Doe", "jd@example.com"}},
                    TSenderCase{"BareAddress", "jd@example.com", {"", "jd@example.com"}},
                    TSenderCase{"AngleAddressOnly", "<jd@example.com>", {"", "jd@example.com"}},
                    TSenderCase{"EncodedName", "\"=?iso-8859-1?Q?Jos=E9?=\" <j@example.com>", {"Jos\xC3\xA9", "j@example.com"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MailRecipients, ReadsEveryEntryOfTheHeader) {
    TMailMessage message;
    message.ParseText("To: a@x.org, \"B b\" <b@x.org>\r\nCc: c@x.org\r\nto: d@x.org\r\n\r\n", true);
    EXPECT_EQ(message.ToRecipients.Count(), 3);
    EXPECT_EQ(message.ToRecipients.AddressesCommaText(), "a@x.org,b@x.org,d@x.org");
    EXPECT_EQ(message.ToRecipients.NamesCommaText(), ",\"B b\",");
    EXPECT_EQ(message.CcRecipients.AddressAt(0), "c@x.org");
    EXPECT_EQ(message.BccRecipients.Count(), 0);
    EXPECT_EQ(message.ToRecipients.AddressAt(9), "");
}

TEST(MailRecipients, FollowsEveryChangeOfTheHeader) {
    TMailMessage message;
    message.ParseText("To: a@x.org\r\n\r\n", true);
    EXPECT_EQ(message.ToRecipients.Count(), 1);
    message.SetHeaderValue("To", "b@x.org, c@x.org");
    EXPECT_EQ(message.ToRecipients.Count(), 2);
    message.HeaderLines.push_back("To: d@x.org");
    EXPECT_EQ(message.ToRecipients.AddressAt(2), "d@x.org");
    message.ParseText("Subject: none\r\n\r\n", true);
    EXPECT_EQ(message.ToRecipients.Count(), 0);
    message.CcRecipients.Add("", "e@x.org");
    EXPECT_EQ(message.ToRecipients.Count(), 0);
    EXPECT_EQ(message.CcRecipients.Count(), 1);
}

TEST(MailRecipients, AddWritesQuotedEncodedNames) {
    TMailMessage message;
    message.ToRecipients.Add("John", "john@x.org");
    EXPECT_EQ(message.HeaderLines.back(), "To: John <john@x.org>");
    message.ToRecipients.Add("", "bare@x.org");
    message.ToRecipients.Add("J\xC3\xB6rg Doe", "j@x.org");
    message.ToRecipients.Add("Doe, John", "jd@x.org");
    // Encoded words stand unquoted (RFC 2047 forbids them inside quotes); ASCII that needs
    // quoting is a quoted string.
    EXPECT_EQ(message.HeaderLines.back(),
              "To: John <john@x.org>, <bare@x.org>, =?utf-8?Q?J=C3=B6rg_Doe?= <j@x.org>, "
              "\"Doe, John\" <jd@x.org>");
    EXPECT_EQ(message.HeaderLines.size(), 1u);
    EXPECT_EQ(message.ToRecipients.NameAt(2), "J\xC3\xB6rg Doe");
    EXPECT_EQ(message.ToRecipients.NameAt(3), "Doe, John");
    // Read back from the header as written, the entries are the same.
    message.HeaderLines.push_back("X-Other: 1");
    EXPECT_EQ(message.ToRecipients.NameAt(2), "J\xC3\xB6rg Doe");
    EXPECT_EQ(message.ToRecipients.Count(), 4);
}

TEST(MailRecipients, ClearRemovesEveryEntry) {
    TMailMessage message;
    message.HeaderLines = {"To: a@x.org", "Subject: s", "To: b@x.org"};
    message.ToRecipients.Clear();
    EXPECT_EQ(message.HeaderLines, (std::vector<std::string>{"Subject: s"}));
    EXPECT_EQ(message.ToRecipients.Count(), 0);
}

TEST(MailRecipients, ListingTextShowsNameAndAddress) {
    TMailMessage message;
    message.ParseText("To: \"Berg, S\xC3\xB8ren\" <soren@example.org>, bare@example.org,\r\n"
                      " =?utf-8?Q?Ma=C3=AFa_Dupont?= <maia@example.fr>\r\n"
                      "To: (Comment Name) c@example.org, \"Caf\xE9\" <cafe@example.org>,\r\n"
                      " <@relay.example:routed@example.org>\r\n\r\n",
                      true);
    const TMailRecipients& to = message.ToRecipients;
    EXPECT_EQ(to.ListingText(), "Berg, S\xC3\xB8ren (soren@example.org); bare@example.org; "
                                "Ma\xC3\xAF" "a Dupont (maia@example.fr); "
                                "Comment Name (c@example.org); Caf\xC3\xA9 (cafe@example.org); "
                                "routed@example.org");
    ASSERT_EQ(to.Count(), 6);
    for (int i = 0; i < to.Count(); ++i) {
        EXPECT_EQ(to.NameView(i), to.NameAt(i)) << i;
        EXPECT_EQ(to.AddressView(i), to.AddressAt(i)) << i;
    }
    EXPECT_EQ(to.NameView(6), "");
    EXPECT_EQ(to.AddressView(-1), "");
}

TEST(MailRecipients, EachLineStartsWithNothingOfTheLineBefore) {
    // The collecting buffers are shared by the lines of a header: a long name or a routed
    // address on one line must not leak into the next.
    TMailMessage message;
    message.ParseText("To: \"A rather long display name here\" <@r.example:first@example.org>\r\n"
                      "To: second@example.org\r\n"
                      "To: (only a comment)\r\n"
                      "To: \"Q\"\r\n\r\n",
                      true);
    const TMailRecipients& to = message.ToRecipients;
    ASSERT_EQ(to.Count(), 4);
    EXPECT_EQ(to.AddressView(0), "first@example.org");
    EXPECT_EQ(to.NameView(1), "");
    EXPECT_EQ(to.AddressView(1), "second@example.org");
    EXPECT_EQ(to.NameView(2), "only a comment");
    EXPECT_EQ(to.AddressView(2), "");
    EXPECT_EQ(to.NameView(3), "Q");
    EXPECT_EQ(to.ListingText(), "A rather long display name here (first@example.org); "
                                "second@example.org; only a comment (); Q ()");
}

TEST(MailRecipients, ListingTextAndStringsFollowAddAndChanges) {
    TMailMessage message;
    message.ParseText("To: a@x.org\r\n\r\n", true);
    const std::string& first = message.ToRecipients.AddressAt(0); // strings made before Add
    EXPECT_EQ(first, "a@x.org");
    message.ToRecipients.Add("Bee", "b@x.org");
    EXPECT_EQ(message.ToRecipients.Addresses(), (std::vector<std::string>{"a@x.org", "b@x.org"}));
    EXPECT_EQ(message.ToRecipients.Names(), (std::vector<std::string>{"", "Bee"}));
    EXPECT_EQ(message.ToRecipients.ListingText(), "a@x.org; Bee (b@x.org)");
    message.SetHeaderValue("To", "c@x.org");
    EXPECT_EQ(message.ToRecipients.ListingText(), "c@x.org");
    EXPECT_EQ(message.ToRecipients.NameAt(0), "");
    EXPECT_EQ(message.ToRecipients.AddressAt(0), "c@x.org");
    message.ToRecipients.Clear();
    EXPECT_EQ(message.ToRecipients.ListingText(), "");
    EXPECT_EQ(message.ToRecipients.Count(), 0);
}

TEST(CommaText, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(CommaText({"a", "b c", "d,e", "f\"g", ""}), "a,\"b c\",\"d,e\",\"f\"\"g\",");
    EXPECT_EQ(CommaText({""}), "\"\"");
    EXPECT_EQ(CommaText({}), "");
}

} // namespace
} // namespace pelmora
