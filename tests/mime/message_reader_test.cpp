#include "mime/mail_message.h"

#include "mime/mime_types.h"
#include "mime_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace pelmora {
namespace {

using test::MimeDataPath;
using test::ReadBytes;

std::unique_ptr<TMailMessage> Load(const std::string& name) {
    auto message = std::make_unique<TMailMessage>();
    EXPECT_TRUE(message->LoadMessageFile(MimeDataPath(name)).Ok) << name;
    message->MapParts();
    return message;
}

std::string Decoded(TMailPart* part) {
    part->DecodeBody();
    return part->DecodedData.Copy();
}

TEST(ParseText, HeaderIsUnfoldedAndNormalised) {
    TMailMessage message;
    message.ParseText("SUBJECT:   Hello    there\r\n"
                      "message-id: <a@b>\r\n"
                      "X-MAILER: x\r\n"
                      "Content-type: text/plain;\r\n"
                      " \t charset=\"a  b\"\r\n"
                      "X-Tab: a\t b \tc\r\n"
                      "\r\n"
                      "body\r\n",
                      true);
    EXPECT_EQ(message.HeaderLines,
              (std::vector<std::string>{"Subject: Hello there", "Message-ID: <a@b>", "X-Mailer: x",
                                        "Content-Type: text/plain; charset=\"a  b\"", "X-Tab: a b \tc"}));
    EXPECT_EQ(message.RawBody, "body\r\n");
    EXPECT_TRUE(message.BodyStale);
    EXPECT_TRUE(message.StructureStale);
    EXPECT_TRUE(message.PartMapStale);
}

TEST(ParseText, TextWithoutBlankLineIsAllHeader) {
    TMailMessage message;
    message.ParseText("Subject: a\r\nFrom: b", true);
    EXPECT_EQ(message.HeaderLines.size(), 2u);
    EXPECT_TRUE(message.RawBody.empty());
}

TEST(ParseText, ReportsProgressAtTheStartEveryFewLinesAndAtTheEnd) {
    TMailMessage message;
    std::vector<std::int64_t> seen;
    message.OnProgress = [&](TMailMessage& sender, std::int64_t total, std::int64_t current) {
        EXPECT_EQ(&sender, &message);
        EXPECT_EQ(total, 23);
        seen.push_back(current);
    };
    message.ParseText("Subject: a\r\n\r\nline\r\nend", true);
    EXPECT_EQ(seen, (std::vector<std::int64_t>{0, 23}));

    // A long text is told in steps, forward only, and never once per line.
    std::string text = "Subject: long\r\n\r\n";
    for (int i = 0; i < 20000; ++i) text += "a line of text in a long message\r\n";
    seen.clear();
    message.OnProgress = [&](TMailMessage&, std::int64_t, std::int64_t current) {
        seen.push_back(current);
    };
    message.ParseText(text, true);
    ASSERT_GT(seen.size(), 5u);
    EXPECT_LT(seen.size(), 100u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), static_cast<std::int64_t>(text.size()));
}

TEST(ParseText, AlternativeGivesBothTextsAndNoAttachments) {
    auto message = Load("alternative.eml");
    EXPECT_EQ(message->PlainTextLines, (std::vector<std::string>{"Hello Bob, ", "caf\xC3\xA9 soft break."}));
    EXPECT_EQ(message->HtmlTextLines, (std::vector<std::string>{"<p>Hello Bob</p>"}));
    EXPECT_TRUE(message->Attachments.empty());
    EXPECT_EQ(message->AlternativeContainer, message.get());
    EXPECT_EQ(message->SubParts.size(), 2u);
    EXPECT_EQ(message->RawBody, "This is the preamble.\r\n\r\n");
    EXPECT_EQ(message->SubParts[0]->ParentBoundary(), "alt1");
    // The line break before a delimiter belongs to the delimiter.
    EXPECT_EQ(message->SubParts[1]->RawBody, "<p>Hello Bob</p>");
    EXPECT_FALSE(message->PartMapStale);
}

TEST(ParseText, MixedWithAlternativeAndPdf) {
    auto message = Load("mixed_pdf.eml");
    EXPECT_EQ(message->GetSubject(), "Report f\xC3\xBCr Bob");
    EXPECT_EQ(message->GetSender(), (TMailAddress{"Ann Example", "ann@example.com"}));
    EXPECT_EQ(message->PlainTextLines, (std::vector<std::string>{"Plain body"}));
    EXPECT_EQ(message->HtmlTextLines, (std::vector<std::string>{"<b>Html body</b>"}));
    ASSERT_EQ(message->Attachments.size(), 1u);
    TMailPart* pdf = message->Attachments[0];
    EXPECT_FALSE(pdf->IsEmbedded);
    EXPECT_EQ(pdf->AttachmentFileName(), "report.pdf");
    EXPECT_EQ(Decoded(pdf), ReadBytes(MimeDataPath("payload_pdf.bin")));
    EXPECT_EQ(message->MixedContainer, message.get());
    ASSERT_NE(message->AlternativeContainer, nullptr);
    EXPECT_EQ(message->AlternativeContainer->ParentPart, message.get());
}

TEST(ParseText, RelatedGivesHtmlAndEmbeddedImage) {
    auto message = Load("related.eml");
    EXPECT_EQ(message->HtmlTextLines, (std::vector<std::string>{"<img src=\"cid:dot\">"}));
    EXPECT_TRUE(message->PlainTextLines.empty());
    ASSERT_EQ(message->Attachments.size(), 1u);
    EXPECT_TRUE(message->Attachments[0]->IsEmbedded);
    EXPECT_EQ(Decoded(message->Attachments[0]), ReadBytes(MimeDataPath("payload_gif.bin")));
    EXPECT_EQ(message->Attachments[0]->AttachmentFileName(), "_dot_.gif");
}

TEST(ParseText, SingleImageIsItsOwnAttachment) {
    auto message = Load("gif_single.eml");
    ASSERT_EQ(message->Attachments.size(), 1u);
    EXPECT_EQ(message->Attachments[0], message.get());
    EXPECT_EQ(message->AttachmentFileName(), "image_gif.gif");
    EXPECT_EQ(Decoded(message.get()), ReadBytes(MimeDataPath("payload_gif.bin")));
    EXPECT_EQ(message->PlainTextPart, nullptr);
}

TEST(ParseText, NoContentTypeIsPlainText) {
    TMailMessage message;
    message.ParseText("Subject: s\r\n\r\nline one\r\nline two\r\n", true);
    message.MapParts();
    EXPECT_EQ(message.PlainTextPart, &message);
    EXPECT_EQ(message.PlainTextLines, (std::vector<std::string>{"line one", "line two"}));
    EXPECT_TRUE(message.Attachments.empty());
}

TEST(ParseText, UuencodedFileBecomesMixedMessage) {
    auto message = Load("uuencoded.eml");
    EXPECT_EQ(message->ContentTypeLower(), "multipart/mixed");
    ASSERT_EQ(message->SubParts.size(), 3u);
    TMailPart* text = message->SubParts[0].get();
    EXPECT_EQ(text->HeaderValue("Content-Transfer-Encoding"), "quoted-printable");
    // The text around the file is kept and shown.
    EXPECT_EQ(message->PlainTextLines,
              (std::vector<std::string>{"Here is the file.", "Trailing words are not lost."}));
    ASSERT_EQ(message->Attachments.size(), 1u);
    TMailPart* file = message->Attachments[0];
    EXPECT_EQ(file->HeaderValue("Content-Transfer-Encoding"), "base64");
    EXPECT_EQ(file->HeaderValue("Content-Type"), "text/plain");
    EXPECT_EQ(file->HeaderParam("Content-Disposition", "filename"), "hello.txt");
    EXPECT_EQ(file->HeaderParam("X-Pelmora-Attachment", "embedded"), "no");
    EXPECT_EQ(file->AttachmentFileName(), "hello.txt");
    EXPECT_EQ(file->ParentBoundary(), message->Boundary());
    // Decoding again from the base64 body gives the same bytes.
    file->IsDecoded = false;
    EXPECT_EQ(Decoded(file), ReadBytes(MimeDataPath("payload_uu.bin")));
}

// Entries of a digest name no type and are messages: they are saved as messages.
TEST(ParseText, DigestEntriesWithoutTypeAreMessages) {
    TMailMessage message;
    message.ParseText("Content-Type: multipart/digest; boundary=g\r\n\r\n--g\r\n\r\nSubject: one\r\n\r\n1\r\n"
                      "--g\r\nContent-Type: text/plain\r\n\r\nnote\r\n--g--\r\n",
                      true);
    message.MapParts();
    ASSERT_EQ(message.Attachments.size(), 1u);
    EXPECT_EQ(message.Attachments[0]->EffectiveContentType(), "message/rfc822");
    EXPECT_EQ(message.Attachments[0]->AttachmentFileName(), "message_rfc822.eml");
    EXPECT_EQ(message.PlainTextLines, (std::vector<std::string>{"note"}));
}

TEST(ParseText, EpilogueAndEmptySectionsMakeNoParts) {
    auto message = Load("encoded_name.eml");
    ASSERT_EQ(message->SubParts.size(), 2u);
    ASSERT_EQ(message->Attachments.size(), 1u);
    EXPECT_EQ(message->Attachments[0]->AttachmentFileName(), "what_ is_.txt");
    EXPECT_EQ(Decoded(message->Attachments[0]), "hello");
}

TEST(ParseText, UnclosedLastPartIsKept) {
    TMailMessage message;
    message.ParseText("Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                      "--b\r\nContent-Type: text/plain\r\n\r\nfirst\r\n"
                      "--b\r\nContent-Type: application/zip\r\n\r\ncut off\r\n",
                      true);
    message.MapParts();
    ASSERT_EQ(message.SubParts.size(), 2u);
    EXPECT_EQ(message.SubParts[1]->RawBody, "cut off");
    ASSERT_EQ(message.Attachments.size(), 1u);
}

TEST(ParseText, BoundaryThatNeverComesKeepsTheBody) {
    TMailMessage message;
    message.ParseText("Content-Type: multipart/mixed; boundary=zz\r\n\r\n--b\r\nx\r\n", true);
    EXPECT_TRUE(message.SubParts.empty());
    EXPECT_EQ(message.RawBody, "--b\r\nx\r\n");
}

// A part's header is read the same whether it is kept as read (every line plain) or made
// into lines (a folded or spaced line): lookups, the lines themselves, changes, and a part
// taken out of a message that is then read anew.
TEST(ParseText, PartHeaderReadsTheSameInEveryForm) {
    const std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                             "--b\r\n"
                             "content-type: text/plain; charset=koi8-r\r\n"
                             "X-Empty-Id: 1\r\n"
                             "\r\nfirst\r\n"
                             "--b\r\n"
                             "content-type: text/plain;\r\n charset=koi8-r\r\n"
                             "X-Empty-Id:  1\r\n"
                             "\r\nsecond\r\n"
                             "--b\r\n"
                             "Content-Type: text/plain\r\n"
                             "--b--\r\n";
    auto message = std::make_unique<TMailMessage>();
    message->ParseText(text, true);
    ASSERT_EQ(message->SubParts.size(), 3u);
    TMailPart& plain = *message->SubParts[0];
    TMailPart& folded = *message->SubParts[1];
    const std::vector<std::string> expected = {"Content-Type: text/plain; charset=koi8-r",
                                               "X-Empty-ID: 1"};
    for (TMailPart* part : {&plain, &folded}) {
        EXPECT_EQ(part->HeaderParam("Content-Type", "charset"), "koi8-r");
        EXPECT_EQ(part->HeaderValue("x-empty-id"), "1");
        EXPECT_TRUE(part->HasHeader("CONTENT-TYPE"));
        EXPECT_FALSE(part->HasHeader("Content"));
        EXPECT_EQ(part->HeaderText("X-Empty-ID"), " 1");
    }
    EXPECT_EQ(plain.RawBody, "first");
    EXPECT_EQ(plain.Header(), expected);
    EXPECT_EQ(folded.Header(), expected);
    // A header with no blank line after it is all header, and the part has no body.
    EXPECT_EQ(message->SubParts[2]->Header(), std::vector<std::string>{"Content-Type: text/plain"});
    EXPECT_TRUE(message->SubParts[2]->RawBody.empty());

    message->ParseText(text, true);
    TMailPart& edited = *message->SubParts[0];
    EXPECT_EQ(edited.FindHeader("X-Empty-ID"), 1);
    edited.SetHeaderValue("X-Added", "yes");
    edited.RemoveHeader("X-Empty-ID");
    EXPECT_EQ(edited.Header(), (std::vector<std::string>{
                                   "Content-Type: text/plain; charset=koi8-r", "X-Added: yes"}));

    std::unique_ptr<TMailPart> taken = message->DetachSubPart(message->SubParts[1].get());
    ASSERT_TRUE(taken);
    taken->RawBody.clear(); // nothing of the first text is held through the body
    message->ParseText(std::string("Subject: other\r\n\r\nbody\r\n"), true);
    EXPECT_EQ(taken->Header(), expected);
    taken.reset(); // before the message it points to
}

TEST(ParseText, ReparsingReplacesEverything) {
    auto message = Load("mixed_pdf.eml");
    message->ParseText("Subject: new\r\n\r\nplain", true);
    EXPECT_TRUE(message->SubParts.empty());
    EXPECT_TRUE(message->Attachments.empty());
    EXPECT_EQ(message->MixedContainer, nullptr);
    message->MapParts();
    EXPECT_EQ(message->PlainTextLines, (std::vector<std::string>{"plain"}));
}

struct TMapCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TMapCase& row, std::ostream* os) { *os << row.Name; }
    std::string Text;
    std::vector<std::string> Plain;
    std::vector<std::string> Html;
    std::size_t Attachments;
};

class MapPartsTest : public testing::TestWithParam<TMapCase> {};

TEST_P(MapPartsTest, ClassifiesParts) {
    TMailMessage message;
    message.ParseText(GetParam().Text, true);
    message.MapParts();
    EXPECT_EQ(message.PlainTextLines, GetParam().Plain);
    EXPECT_EQ(message.HtmlTextLines, GetParam().Html);
    EXPECT_EQ(message.Attachments.size(), GetParam().Attachments);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MapPartsTest,
    testing::Values(
        TMapCase{"HtmlOnly", "Content-Type: text/html\r\n\r\n<p>x</p>", {}, {"<p>x</p>"}, 0},
        TMapCase{"EmptyTextIsNothing", "Content-Type: text/plain\r\n\r\n", {}, {}, 0},
        TMapCase{"EnrichedIsAttachment", "Content-Type: text/enriched\r\n\r\nx", {}, {}, 1},
        TMapCase{"LaterInlineTextAppended",
                 "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\none\r\n"
                 "--b\r\nContent-Type: image/png\r\n\r\npng\r\n"
                 "--b\r\nContent-Type: text/plain\r\n\r\ntwo\r\n--b--\r\n",
                 {"one", "two"}, {}, 1},
        TMapCase{"TextAttachmentAfterHtmlBody",
                 "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/html\r\n\r\n<p>h</p>\r\n"
                 "--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=n.txt\r\n\r\nfile\r\n--b--\r\n",
                 {}, {"<p>h</p>"}, 1},
        TMapCase{"SignedBody",
                 "Content-Type: multipart/signed; boundary=s; protocol=\"application/pgp-signature\"\r\n\r\n"
                 "--s\r\nContent-Type: text/plain\r\n\r\nsigned text\r\n"
                 "--s\r\nContent-Type: application/pgp-signature\r\n\r\nsig\r\n--s--\r\n",
                 {"signed text"}, {}, 1},
        TMapCase{"ReportBody",
                 "Content-Type: multipart/report; report-type=delivery-status; boundary=r\r\n\r\n"
                 "--r\r\nContent-Type: text/plain\r\n\r\nnot delivered\r\n"
                 "--r\r\nContent-Type: message/delivery-status\r\n\r\nAction: failed\r\n--r--\r\n",
                 {"not delivered"}, {}, 1},
        TMapCase{"NestedMixedBody",
                 "Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\n"
                 "Content-Type: multipart/mixed; boundary=i\r\n\r\n--i\r\nContent-Type: text/plain\r\n\r\ninner\r\n--i--\r\n"
                 "--o\r\nContent-Type: application/pdf\r\n\r\npdf\r\n--o--\r\n",
                 {"inner"}, {}, 1},
        TMapCase{"AlternativeInsideRelated",
                 "Content-Type: multipart/related; boundary=r\r\n\r\n--r\r\n"
                 "Content-Type: multipart/alternative; boundary=a\r\n\r\n--a\r\nContent-Type: text/plain\r\n\r\np\r\n"
                 "--a\r\nContent-Type: text/html\r\n\r\n<p>h</p>\r\n--a--\r\n"
                 "--r\r\nContent-Type: image/png\r\n\r\npng\r\n--r--\r\n",
                 {"p"}, {"<p>h</p>"}, 1},
        TMapCase{"HtmlSplitAroundImage",
                 "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/html\r\n\r\n<p>a</p>\r\n"
                 "--b\r\nContent-Type: image/png\r\nContent-Disposition: inline\r\n\r\npng\r\n"
                 "--b\r\nContent-Type: text/html\r\n\r\n<p>b</p>\r\n--b--\r\n",
                 {}, {"<p>a</p>", "<p>b</p>"}, 1},
        // As one widespread mail program sends a picture placed inside a text.
        TMapCase{"HtmlSplitAroundImageInsideAlternative",
                 "Content-Type: multipart/alternative; boundary=a\r\n\r\n--a\r\nContent-Type: text/plain\r\n\r\np\r\n"
                 "--a\r\nContent-Type: multipart/related; boundary=r\r\n\r\n--r\r\n"
                 "Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\nContent-Type: text/html\r\n\r\n<p>a</p>\r\n"
                 "--m\r\nContent-Type: image/png\r\nContent-Disposition: inline; filename=i.png\r\n\r\npng\r\n"
                 "--m\r\nContent-Type: text/html\r\n\r\n<p>b</p>\r\n--m--\r\n--r--\r\n--a--\r\n",
                 {"p"}, {"<p>a</p>", "<p>b</p>"}, 1},
        TMapCase{"SecondFormInAlternativeStaysAttachment",
                 "Content-Type: multipart/alternative; boundary=a\r\n\r\n--a\r\nContent-Type: text/plain\r\n\r\np\r\n"
                 "--a\r\nContent-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\nContent-Type: text/plain\r\n\r\nq\r\n"
                 "--m--\r\n--a--\r\n",
                 {"p"}, {}, 1},
        TMapCase{"BoundaryPrefixLineIsText",
                 "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\none\r\n"
                 "--bx is not a delimiter\r\n--b--\r\n--b\r\nContent-Type: image/png\r\n\r\nafter the end\r\n",
                 {"one", "--bx is not a delimiter"}, {}, 0},
        TMapCase{"Latin1BodyShownAsUtf8", "Content-Type: text/plain; charset=iso-8859-1\r\n\r\ncaf\xE9",
                 {"caf\xC3\xA9"}, {}, 0},
        TMapCase{"Koi8rBody", "Content-Type: text/plain; charset=\"koi8-r\"\r\n\r\n\xF0\xD2\xC9",
                 {"\xD0\x9F\xD1\x80\xD0\xB8"}, {}, 0},
        TMapCase{"Utf16BodyByBom", std::string("Content-Type: text/plain\r\n\r\n\xFF\xFEh\0i\0", 34), {"hi"}, {}, 0},
        TMapCase{"Utf16BodyByCharset", std::string("Content-Type: text/plain; charset=utf-16be\r\n\r\n\0h\0i", 50),
                 {"hi"}, {}, 0},
        TMapCase{"HtmlDirectlyInMixed",
                 "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/html\r\n\r\n<i>h</i>\r\n"
                 "--b\r\nContent-Type: image/png\r\n\r\npng\r\n--b--\r\n",
                 {}, {"<i>h</i>"}, 1},
        TMapCase{"PartWithoutTypeInMixedIsText",
                 "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nuntyped\r\n--b--\r\n", {"untyped"}, {}, 0},
        TMapCase{"QuotedPrintableTextDecoded",
                 "Content-Type: text/plain\r\nContent-Transfer-Encoding: Quoted-Printable\r\n\r\na=3Db=\r\nc\r\n",
                 {"a=bc"}, {}, 0},
        TMapCase{"TextGoesOnAfterZeroByte", std::string("Content-Type: text/plain\r\n\r\nab\0cd", 33),
                 {std::string("ab\0cd", 5)}, {}, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TNameCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TNameCase& row, std::ostream* os) { *os << row.Name; }
    std::vector<std::string> Header;
    std::string Expected;
};

class AttachmentFileNameTest : public testing::TestWithParam<TNameCase> {};

TEST_P(AttachmentFileNameTest, PicksFirstSource) {
    TMailPart part(nullptr);
    part.HeaderLines = GetParam().Header;
    EXPECT_EQ(part.AttachmentFileName(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AttachmentFileNameTest,
    testing::Values(
        TNameCase{"OwnHeaderFirst",
                  {"X-Pelmora-Attachment: \"own.txt\"; embedded=no", "Content-Type: text/plain; name=\"n.txt\""},
                  "own.txt"},
        TNameCase{"FileNameWinsOverName", {"Content-Type: text/plain; name=\"n.txt\"", "Content-Disposition: attachment; filename=f.txt"}, "f.txt"},
        TNameCase{"Rfc2231Utf8", {"Content-Type: application/msword", "Content-Disposition: attachment; filename*=UTF-8''r%C3%A9sum%C3%A9%20final.docx"}, "r\xC3\xA9sum\xC3\xA9 final.docx"},
        TNameCase{"Rfc2231Continuations", {"Content-Type: application/pdf", "Content-Disposition: attachment; filename*0*=iso-8859-1'fr'r%E9sum; filename*1=\"e a\"; filename*2*=%2Epdf"}, "r\xC3\xA9sume a.pdf"},
        TNameCase{"Rfc2231OnName", {"Content-Type: application/pdf; name*=utf-8''%E2%82%AC.pdf"}, "\xE2\x82\xAC.pdf"},
        TNameCase{"EncodedWordName", {"Content-Type: application/pdf; name=\"=?koi8-r?B?8NLJ?=.pdf\""}, "\xD0\x9F\xD1\x80\xD0\xB8.pdf"},
        TNameCase{"LongNameKeepsExtension", {"Content-Type: application/pdf; name=\"" + std::string(300, 'a') + ".pdf\""}, std::string(250, 'a') + ".pdf"},
        TNameCase{"DispositionFilename", {"Content-Disposition: attachment; filename=\"f.txt\""}, "f.txt"},
        TNameCase{"ContentIdWithBrackets", {"Content-ID: <id1>"}, "_id1_"},
        TNameCase{"ContentLocation", {"Content-Location: pic.png"}, "pic.png"},
        TNameCase{"FromTypeAndExtension", {"Content-Type: image/gif"}, "image_gif.gif"},
        TNameCase{"NameWithoutDotGetsExtension", {"Content-Type: application/pdf; name=report"}, "report.pdf"},
        TNameCase{"EncodedWordDecodedAndCleaned",
                  {"Content-Type: text/plain; name=\"=?utf-8?Q?a=3Ab=3F.txt?=\""}, "a_b_.txt"},
        TNameCase{"PathInNameFlattened", {"Content-Disposition: attachment; filename=\"../../x.sh\""}, ".._.._x.sh"},
        TNameCase{"Unknown", {}, "unknown"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TDecodeCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TDecodeCase& row, std::ostream* os) { *os << row.Name; }
    std::string Encoding;
    std::string Raw;
    std::string Expected;
};

class DecodeBodyTest : public testing::TestWithParam<TDecodeCase> {};

TEST_P(DecodeBodyTest, GivesBytes) {
    TMailMessage message;
    if (!GetParam().Encoding.empty())
        message.HeaderLines.push_back("Content-Transfer-Encoding: " + GetParam().Encoding);
    message.RawBody = GetParam().Raw;
    message.DecodeBody();
    EXPECT_EQ(message.DecodedData, GetParam().Expected);
    EXPECT_TRUE(message.IsDecoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeBodyTest,
    testing::Values(TDecodeCase{"QuotedPrintable", "quoted-printable", "a=41=\r\nb", "aAb"},
                    TDecodeCase{"QuotedPrintableGoesOnAfterZero", "quoted-printable", std::string("a\0=41", 5), std::string("a\0A", 3)},
                    TDecodeCase{"Base64Lines", "BASE64", "YWJj\r\n ZGVm \r\n", "abcdef"},
                    TDecodeCase{"Uuencode", "x-uuencode", "#86)C\r\n`\r\n", "abc"},
                    TDecodeCase{"SevenBitCopied", "7bit", "as is=41", "as is=41"},
                    TDecodeCase{"AbsentCopied", "", "as is", "as is"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(DecodeBody, RunsOnceAndUuencodeTurnsIntoBase64) {
    TMailMessage message;
    message.HeaderLines = {"Content-Transfer-Encoding: uucode"};
    message.RawBody = "#86)C\r\n";
    message.DecodeBody();
    EXPECT_EQ(message.HeaderValue("Content-Transfer-Encoding"), "base64");
    EXPECT_EQ(message.RawBody, "YWJj\r\n");
    message.RawBody = "changed";
    message.DecodeBody();
    EXPECT_EQ(message.DecodedData, "abc");
}

TEST(LoadMessageFile, MissingFileIsAnErrorAndChangesNothing) {
    TMailMessage message;
    message.HeaderLines = {"Subject: kept"};
    TMimeStatus status = message.LoadMessageFile(MimeDataPath("no_such_file.eml"));
    EXPECT_FALSE(status.Ok);
    EXPECT_NE(status.Error.find("no_such_file.eml"), std::string::npos);
    EXPECT_EQ(message.HeaderLines, (std::vector<std::string>{"Subject: kept"}));
    EXPECT_FALSE(message.LoadMessageFile(MimeDataPath("")).Ok); // a directory
    EXPECT_EQ(message.HeaderLines, (std::vector<std::string>{"Subject: kept"}));
}


void ExpectSameTree(const TMailPart& a, const TMailPart& b) {
    EXPECT_EQ(a.Header(), b.Header());
    EXPECT_EQ(a.RawBody, b.RawBody);
    ASSERT_EQ(a.SubParts.size(), b.SubParts.size());
    for (std::size_t i = 0; i < a.SubParts.size(); ++i) {
        if (a.SubParts[i]->Boundary().rfind("boundary", 0) == 0) continue; // generated per parse
        ExpectSameTree(*a.SubParts[i], *b.SubParts[i]);
    }
}

// Progress reporting walks every line; without it the parser skips ahead. Both give one tree.
class ProgressPath : public testing::TestWithParam<const char*> {};

TEST_P(ProgressPath, GivesTheSameTree) {
    const std::string text = test::ReadBytes(test::MimeDataPath(GetParam()));
    TMailMessage quiet;
    quiet.ParseText(text, true);
    TMailMessage reporting;
    std::int64_t calls = 0;
    reporting.OnProgress = [&](TMailMessage&, std::int64_t, std::int64_t) { ++calls; };
    reporting.ParseText(text, true);
    EXPECT_GE(calls, 2);
    ExpectSameTree(quiet, reporting);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProgressPath,
                         testing::Values("alternative.eml", "mixed_pdf.eml", "related.eml", "encoded_name.eml"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST(ProgressPath, UuencodedBodyGivesTheSameFiles) {
    const std::string text = "Subject: s\r\n\r\nintro\r\nbegin 644 a.txt\r\n#86)C\r\nend\r\nbetween\r\n"
                             "begin 600 b.txt\r\n#9&5F\r\nend\r\n";
    TMailMessage quiet;
    quiet.ParseText(text, true);
    TMailMessage reporting;
    reporting.OnProgress = [](TMailMessage&, std::int64_t, std::int64_t) {};
    reporting.ParseText(text, true);
    ASSERT_EQ(quiet.SubParts.size(), 4u); // intro, a.txt, "between", b.txt
    ASSERT_EQ(reporting.SubParts.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(quiet.SubParts[i]->DecodedData, reporting.SubParts[i]->DecodedData);
        EXPECT_EQ(quiet.SubParts[i]->AttachmentFileName(), reporting.SubParts[i]->AttachmentFileName());
    }
    EXPECT_EQ(quiet.SubParts[1]->DecodedData, "abc");
    EXPECT_EQ(quiet.SubParts[2]->RawBody, "between\r\n");
    EXPECT_EQ(quiet.SubParts[3]->AttachmentFileName(), "b.txt");
}

} // namespace
} // namespace pelmora

namespace pelmora {
namespace {

// What "Remove All Attachments" does: drop every attachment, rebuild, read again. The text of a
// signed message and a list footer added after an attachment must both survive.
TEST(RemoveAllAttachments, KeepsEveryBodyText) {
    const std::string text =
        "Subject: s\r\nContent-Type: multipart/mixed; boundary=o\r\n\r\n"
        "--o\r\nContent-Type: multipart/signed; boundary=s\r\n\r\n"
        "--s\r\nContent-Type: text/plain; charset=iso-8859-1\r\n\r\ncaf\xE9 signed\r\n"
        "--s\r\nContent-Type: application/pgp-signature\r\n\r\nsig\r\n--s--\r\n"
        "--o\r\nContent-Type: application/pdf; name=a.pdf\r\n\r\npdf\r\n"
        "--o\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n-- \r\nlist footer \xC3\xA4\r\n--o--\r\n";
    TMailMessage message;
    message.ParseText(text, true);
    message.MapParts();
    const std::vector<std::string> shown = {"caf\xC3\xA9 signed", "-- ", "list footer \xC3\xA4"};
    EXPECT_EQ(message.PlainTextLines, shown);
    ASSERT_EQ(message.Attachments.size(), 2u); // the signature and the PDF
    message.Restructure(RestructureMode::IfStale);
    while (!message.Attachments.empty())
        ASSERT_TRUE(message.DropAttachment(0));
    message.BuildBody();
    TMailMessage reread;
    reread.ParseText(message.FullText(), true);
    reread.MapParts();
    EXPECT_EQ(reread.PlainTextLines, shown);
    EXPECT_TRUE(reread.Attachments.empty());
}

} // namespace
} // namespace pelmora
