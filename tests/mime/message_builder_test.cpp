#include "mime/mail_message.h"

#include "mime_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace pelmora {
namespace {

using test::MimeDataPath;
using test::ReadBytes;

// Runs the steps every caller runs before taking a message's text.
void Finish(TMailMessage& message) {
    if (message.PartMapStale) message.MapParts();
    if (message.StructureStale) message.Restructure(RestructureMode::IfStale);
    if (message.BodyStale) message.BuildBody();
}

// Parses a message's full text into a fresh message and maps it.
std::unique_ptr<TMailMessage> Reread(const TMailMessage& message) {
    auto copy = std::make_unique<TMailMessage>();
    copy->ParseText(message.FullText(), true);
    copy->MapParts();
    return copy;
}

std::vector<std::string> Types(const TMailPart& part) {
    std::vector<std::string> types;
    for (const auto& sub : part.SubParts) types.push_back(sub->ContentTypeLower());
    return types;
}

TEST(BuildMessage, PlainTextOnlyIsOneTextPart) {
    TMailMessage message;
    message.Charset = "utf-8";
    message.PutPlainText("Hello\nthere ");
    EXPECT_EQ(message.PlainTextLines, (std::vector<std::string>{"Hello", "there "}));
    Finish(message);
    EXPECT_TRUE(message.SubParts.empty());
    EXPECT_EQ(message.HeaderValue("Content-Type"), "text/plain");
    EXPECT_EQ(message.HeaderParam("Content-Type", "charset"), "utf-8");
    EXPECT_EQ(message.HeaderValue("Content-Transfer-Encoding"), "quoted-printable");
    EXPECT_EQ(message.HeaderValue("Content-Disposition"), "inline");
    EXPECT_EQ(message.Boundary(), "");
    EXPECT_EQ(message.RawBody, "Hello\r\nthere \r\n");
    EXPECT_EQ(message.HeaderValue("Content-Length"), std::to_string(message.RawBody.size()));
    auto copy = Reread(message);
    EXPECT_EQ(copy->PlainTextLines, (std::vector<std::string>{"Hello", "there "}));
}

TEST(BuildMessage, HtmlAfterPlainMakesAlternativePlainFirst) {
    TMailMessage message;
    message.PutPlainText("plain");
    message.PutHtmlText("<p>html</p>");
    Finish(message);
    EXPECT_EQ(message.ContentTypeLower(), "multipart/alternative");
    EXPECT_EQ(Types(message), (std::vector<std::string>{"text/plain", "text/html"}));
    EXPECT_EQ(message.AlternativeContainer, &message);
    auto copy = Reread(message);
    EXPECT_EQ(copy->PlainTextLines, (std::vector<std::string>{"plain"}));
    EXPECT_EQ(copy->HtmlTextLines, (std::vector<std::string>{"<p>html</p>"}));
    // Replacing a text keeps the structure.
    message.PutHtmlText("<p>new</p>");
    Finish(message);
    EXPECT_EQ(Types(message), (std::vector<std::string>{"text/plain", "text/html"}));
    EXPECT_EQ(Reread(message)->HtmlTextLines, (std::vector<std::string>{"<p>new</p>"}));
}

TEST(BuildMessage, HtmlFirstThenPlainStillPutsPlainFirst) {
    TMailMessage message;
    message.PutHtmlText("<p>html</p>");
    message.PutPlainText("plain");
    Finish(message);
    EXPECT_EQ(Types(message), (std::vector<std::string>{"text/plain", "text/html"}));
}

TEST(BuildMessage, SingleAttachmentIsTheMessageItself) {
    TMailMessage message;
    message.AttachEncoding = etQuotedPrintable;
    message.AttachData("some bytes", "/home/user/report.pdf", false, "");
    Finish(message);
    EXPECT_TRUE(message.SubParts.empty());
    ASSERT_EQ(message.Attachments.size(), 1u);
    EXPECT_EQ(message.Attachments[0], &message);
    EXPECT_EQ(message.HeaderValue("Content-Type"), "application/pdf");
    EXPECT_EQ(message.HeaderValue("Content-Transfer-Encoding"), "quoted-printable");
    EXPECT_EQ(message.HeaderValue("X-Pelmora-Attachment"), "report.pdf");
    EXPECT_EQ(message.HeaderParam("Content-Disposition", "filename"), "report.pdf");
    EXPECT_EQ(message.AttachmentFileName(), "report.pdf");
    message.Restructure(RestructureMode::Always);
    Finish(message);
    EXPECT_EQ(message.HeaderValue("Content-Transfer-Encoding"), "base64");
    EXPECT_EQ(message.HeaderValue("Content-Disposition"), "attachment");
    EXPECT_EQ(message.FindHeader("Content-Type", 1), -1);
    auto copy = Reread(message);
    ASSERT_EQ(copy->Attachments.size(), 1u);
    copy->DecodeBody();
    EXPECT_EQ(copy->DecodedData, "some bytes");
    EXPECT_EQ(copy->AttachmentFileName(), "report.pdf");
}

TEST(BuildMessage, TextAndAttachmentMakeMixed) {
    TMailMessage message;
    message.PutPlainText("see attached");
    message.AttachData(std::string("\x00\x01\xFF", 3), "data.bin", false, "application/x-demo");
    Finish(message);
    EXPECT_EQ(message.ContentTypeLower(), "multipart/mixed");
    ASSERT_EQ(message.SubParts.size(), 2u);
    EXPECT_EQ(message.SubParts[0]->ContentTypeLower(), "text/plain");
    TMailPart& file = *message.SubParts[1];
    EXPECT_EQ(file.ContentTypeLower(), "application/x-demo");
    EXPECT_EQ(file.HeaderValue("Content-Disposition"), "attachment");
    EXPECT_EQ(file.HeaderParam("Content-Type", "name"), "data.bin");
    EXPECT_EQ(file.HeaderParam("Content-Disposition", "filename"), "data.bin");
    EXPECT_EQ(file.HeaderParam("X-Pelmora-Attachment", "embedded"), "no");
    auto copy = Reread(message);
    EXPECT_EQ(copy->PlainTextLines, (std::vector<std::string>{"see attached"}));
    ASSERT_EQ(copy->Attachments.size(), 1u);
    copy->Attachments[0]->DecodeBody();
    EXPECT_EQ(copy->Attachments[0]->DecodedData, std::string("\x00\x01\xFF", 3));
}

TEST(BuildMessage, EmbeddedImageMakesRelatedAndWithAttachmentRelatedInsideMixed) {
    TMailMessage message;
    message.ContentLocationBase = "http://host.example/";
    message.PutHtmlText("<img src=\"dot.gif\">");
    message.AttachData("GIF89a", "/tmp/dot.gif", true, "");
    Finish(message);
    EXPECT_EQ(message.ContentTypeLower(), "multipart/related");
    ASSERT_EQ(message.SubParts.size(), 2u);
    TMailPart& image = *message.SubParts[1];
    EXPECT_EQ(image.ContentTypeLower(), "image/gif");
    EXPECT_EQ(image.HeaderValue("Content-Location"), "http://host.example/dot.gif");
    EXPECT_EQ(image.HeaderValue("Content-Disposition"), "inline");
    EXPECT_EQ(image.HeaderParam("X-Pelmora-Attachment", "embedded"), "yes");

    message.AttachData("zip bytes", "archive.zip", false, "application/zip");
    Finish(message);
    EXPECT_EQ(message.ContentTypeLower(), "multipart/mixed");
    EXPECT_EQ(Types(message), (std::vector<std::string>{"multipart/related", "application/zip"}));
    EXPECT_EQ(Types(*message.SubParts[0]), (std::vector<std::string>{"text/html", "image/gif"}));
    auto copy = Reread(message);
    ASSERT_EQ(copy->Attachments.size(), 2u);
    EXPECT_TRUE(copy->Attachments[0]->IsEmbedded);
    EXPECT_FALSE(copy->Attachments[1]->IsEmbedded);
    EXPECT_EQ(copy->HtmlTextLines, (std::vector<std::string>{"<img src=\"dot.gif\">"}));
}

TEST(BuildMessage, ContentIdEmbeddingUsesTheFileName) {
    TMailMessage message;
    message.EmbedMethod = emContentID;
    message.PutHtmlText("<img src=\"cid:dot.gif\">");
    message.AttachData("GIF89a", "/tmp/dot.gif", true, "");
    Finish(message);
    EXPECT_EQ(message.SubParts[1]->HeaderValue("Content-ID"), "<dot.gif>");
    message.Restructure(RestructureMode::Always);
    Finish(message);
    EXPECT_EQ(message.SubParts[1]->HeaderValue("Content-ID"), "<dot.gif>");
}

TEST(BuildMessage, DroppingTheLastAttachmentCollapsesToText) {
    TMailMessage message;
    message.Charset = "utf-8";
    message.PutPlainText("text");
    message.AttachData("x", "x.bin", false, "");
    Finish(message);
    ASSERT_TRUE(message.DropAttachment(0).Ok);
    Finish(message);
    EXPECT_TRUE(message.SubParts.empty());
    EXPECT_EQ(message.ContentTypeLower(), "text/plain");
    EXPECT_EQ(message.HeaderParam("Content-Type", "charset"), "utf-8");
    EXPECT_TRUE(message.Attachments.empty());
    EXPECT_EQ(Reread(message)->PlainTextLines, (std::vector<std::string>{"text"}));
}

TEST(BuildMessage, DropAttachmentRejectsBadIndexes) {
    TMailMessage message;
    message.Name = "ComposeMessage";
    message.AttachData("x", "x.bin", false, "");
    for (int index : {-1, 1}) {
        TMimeStatus status = message.DropAttachment(index);
        EXPECT_FALSE(status.Ok);
        EXPECT_EQ(status.Error, "ComposeMessage: Attachment index not found");
    }
    EXPECT_EQ(message.Attachments.size(), 1u);
}

TEST(BuildMessage, DropTextsLeavesTheRest) {
    TMailMessage message;
    message.PutPlainText("plain");
    message.PutHtmlText("<p>html</p>");
    message.AttachData("x", "x.bin", false, "");
    Finish(message);
    message.DropHtmlText();
    Finish(message);
    EXPECT_EQ(Types(message), (std::vector<std::string>{"text/plain", "application/octet-stream"}));
    EXPECT_TRUE(message.HtmlTextLines.empty());
    message.DropPlainText();
    Finish(message);
    EXPECT_TRUE(message.SubParts.empty());
    EXPECT_EQ(message.Attachments.size(), 1u);
    EXPECT_EQ(message.Attachments[0], &message);
}

TEST(BuildMessage, BoundariesNameTheirContainerAndEveryDelimiterUsesIt) {
    TMailMessage message;
    message.PutPlainText("plain");
    message.PutHtmlText("<p>html</p>");
    message.AttachData("GIF89a", "dot.gif", true, "");
    message.AttachData("x", "x.bin", false, "");
    Finish(message);
    const std::string mixed = message.Boundary();
    const std::string related = message.SubParts[0]->Boundary();
    const std::string alternative = message.SubParts[0]->SubParts[0]->Boundary();
    EXPECT_TRUE(std::regex_match(mixed, std::regex("boundary[0-9A-F]{8}_mixed")));
    EXPECT_TRUE(std::regex_match(related, std::regex("boundary[0-9A-F]{8}_related")));
    EXPECT_TRUE(std::regex_match(alternative, std::regex("boundary[0-9A-F]{8}_alternative")));
    std::string text = message.FullText();
    std::vector<std::string> delimiters;
    std::regex delimiter("\r\n--(boundary[0-9A-F]{8}_[a-z]+)(--)?\r\n");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), delimiter); it != std::sregex_iterator(); ++it)
        delimiters.push_back((*it)[1].str() + (*it)[2].str());
    EXPECT_EQ(delimiters, (std::vector<std::string>{mixed, related, alternative, alternative, alternative + "--",
                                                    related, related + "--", mixed, mixed + "--"}));
}

TEST(BuildMessage, LongToHeaderFoldsAfterACommaWithTab) {
    TMailMessage message;
    for (int i = 0; i < 5; ++i) message.ToRecipients.Add("", "person" + std::to_string(i) + "@example.com");
    message.PutPlainText("x");
    Finish(message);
    std::string text = message.FullText();
    std::size_t to = text.find("To: ");
    std::size_t end = text.find("\r\n", to);
    EXPECT_LE(end - to, 72u);
    EXPECT_EQ(text[end - 1], ',');
    EXPECT_EQ(text[end + 2], '\t');
    EXPECT_EQ(Reread(message)->ToRecipients.Count(), 5);
}

TEST(BuildMessage, LongEncodedSubjectReadsBackUnchanged) {
    TMailMessage message;
    message.Charset = "utf-8";
    const std::string subject = "Gr\xC3\xBC\xC3\x9F" "e: \xC3\x9C" "bersicht; Termin, Ort und Zeit (neu) f\xC3\xBCr die n\xC3\xA4" "chste Woche";
    message.SetSubject(subject);
    message.PutPlainText("x");
    Finish(message);
    EXPECT_EQ(Reread(message)->GetSubject(), subject);
}

TEST(BuildMessage, BuildBodyTwiceChangesNothing) {
    TMailMessage message;
    message.PutPlainText("plain");
    message.AttachData("x", "x.bin", false, "");
    Finish(message);
    std::string first = message.FullText();
    EXPECT_FALSE(message.BodyStale);
    message.BuildBody();
    EXPECT_EQ(message.FullText(), first);
}

TEST(BuildMessage, RestructureSetsMailerHeaders) {
    TMailMessage message;
    message.PutPlainText("x");
    EXPECT_EQ(message.HeaderValue("Mime-Version"), "1.0");
    EXPECT_EQ(message.HeaderValue("X-Mailer").substr(0, 17), "Pelmora v.3.0 by ");
}

TEST(BuildMessage, AttachFileFromReadsTheFileOrReportsIt) {
    TMailMessage message;
    ASSERT_TRUE(message.AttachFileFrom(MimeDataPath("payload_gif.bin"), "image/gif", false).Ok);
    Finish(message);
    message.DecodeBody();
    EXPECT_EQ(message.DecodedData, ReadBytes(MimeDataPath("payload_gif.bin")));
    TMimeStatus missing = message.AttachFileFrom(MimeDataPath("missing.bin"), "", false);
    EXPECT_FALSE(missing.Ok);
    EXPECT_NE(missing.Error.find("missing.bin"), std::string::npos);
}

// A parsed message, restructured and rebuilt, reads back with the same texts and files.
class RoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(RoundTrip, ParseBuildParseKeepsContent) {
    TMailMessage original;
    ASSERT_TRUE(original.LoadMessageFile(MimeDataPath(GetParam())).Ok);
    original.MapParts();
    std::vector<std::pair<std::string, std::string>> files;
    for (TMailPart* part : original.Attachments) {
        part->DecodeBody();
        files.emplace_back(part->AttachmentFileName(), part->DecodedData);
    }
    const auto plain = original.PlainTextLines;
    const auto html = original.HtmlTextLines;

    TMailMessage rebuilt;
    ASSERT_TRUE(rebuilt.LoadMessageFile(MimeDataPath(GetParam())).Ok);
    Finish(rebuilt);
    for (int pass = 0; pass < 2; ++pass) {
        auto copy = Reread(rebuilt);
        EXPECT_EQ(copy->PlainTextLines, plain);
        EXPECT_EQ(copy->HtmlTextLines, html);
        ASSERT_EQ(copy->Attachments.size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            copy->Attachments[i]->DecodeBody();
            EXPECT_EQ(copy->Attachments[i]->AttachmentFileName(), files[i].first);
            EXPECT_EQ(copy->Attachments[i]->DecodedData, files[i].second);
        }
        // The reread message, rebuilt in turn, keeps the content too.
        Finish(*copy);
        rebuilt.ParseText(copy->FullText(), true);
        Finish(rebuilt);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RoundTrip,
                         testing::Values("alternative.eml", "mixed_pdf.eml", "related.eml", "gif_single.eml",
                                         "uuencoded.eml", "encoded_name.eml"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST(SaveMessageFile, WritesLinesThatLoadBack) {
    TMailMessage message;
    message.SetSubject("Saved");
    message.PutPlainText("line one\nline two");
    message.AttachData("bytes", "a.bin", false, "");
    Finish(message);
    const std::string path = testing::TempDir() + "/pelmora_saved.eml";
    ASSERT_TRUE(message.SaveMessageFile(path).Ok);
    std::string saved = ReadBytes(path);
    EXPECT_EQ(saved, message.FullText());
    EXPECT_FALSE(std::filesystem::exists(path + ".saving"));
    TMailMessage loaded;
    ASSERT_TRUE(loaded.LoadMessageFile(path).Ok);
    loaded.MapParts();
    EXPECT_EQ(loaded.GetSubject(), "Saved");
    EXPECT_EQ(loaded.PlainTextLines, (std::vector<std::string>{"line one", "line two"}));
    EXPECT_EQ(loaded.Attachments.size(), 1u);
    std::filesystem::remove(path);
    EXPECT_FALSE(message.SaveMessageFile("/nonexistent-dir/x.eml").Ok);
}

} // namespace
} // namespace pelmora
