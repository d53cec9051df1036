// Inputs built to exhaust the stack or make the work grow faster than the text. Each must
// finish with the ordinary result; a regression shows as a test that never ends.

#include "mime/encoded_words.h"
#include "mime/header_fold.h"
#include "mime/mail_message.h"
#include "mime/quoted_printable.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmora {
namespace {

constexpr std::size_t LongLine = 8u << 20; // 8 MB

TEST(HostileInput, HundredThousandEncodedWordsDecodeInOnePass) {
    std::string text;
    std::string expected;
    for (int i = 0; i < 100000; ++i) {
        text += "=?utf-8?Q?w=41?= ";
        expected += "wA"; // adjacent encoded words join without the space between them
    }
    EXPECT_TRUE(DecodeWords(text) == expected);
}

TEST(HostileInput, UnclosedEncodedWordsStayText) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "=?x";
    EXPECT_TRUE(DecodeWords(text) == text);
}

TEST(HostileInput, DeepNestingStopsAtTheLimit) {
    const int levels = 1000;
    std::string text;
    for (int i = 0; i < levels; ++i) {
        text += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "x\"\r\n\r\n--b" +
                std::to_string(i) + "x\r\n";
    }
    text += "Content-Type: text/plain\r\n\r\ninnermost\r\n";
    TMailMessage message;
    message.ParseText(text, true);
    int depth = 0;
    const TMailPart* part = &message;
    while (!part->SubParts.empty()) {
        ASSERT_EQ(part->SubParts.size(), 1u);
        part = part->SubParts.front().get();
        ++depth;
    }
    EXPECT_EQ(depth, TMailPart::MaxNestingDepth);
    // The deepest part keeps the rest of the text as its body.
    EXPECT_EQ(part->ContentTypeLower(), "multipart/mixed");
    EXPECT_NE(part->RawBody.View().find("innermost"), std::string::npos);
    message.MapParts();
    message.Restructure(RestructureMode::IfStale);
    message.BuildBody();
    EXPECT_FALSE(message.FullText().empty());
}

TEST(HostileInput, BoundaryThatNeverComesOverManyLines) {
    std::string text = "Content-Type: multipart/mixed; boundary=never\r\n\r\n";
    for (int i = 0; i < 200000; ++i) text += "--almost the boundary\r\n";
    TMailMessage message;
    message.ParseText(text, true);
    EXPECT_TRUE(message.SubParts.empty());
    EXPECT_EQ(message.RawBody.size(), 200000u * 23);
}

TEST(HostileInput, VeryLongLinesInHeaderAndBody) {
    std::string text = "Subject: " + std::string(LongLine, 'a') + "\r\nX-Spaces: ";
    for (std::size_t i = 0; i < LongLine / 2; ++i) text += "b ";
    text += "\r\n\r\n" + std::string(LongLine, 'c');
    TMailMessage message;
    message.ParseText(text, true);
    message.MapParts();
    ASSERT_EQ(message.PlainTextLines.size(), 1u);
    EXPECT_EQ(message.PlainTextLines[0].size(), LongLine);
    EXPECT_EQ(message.GetSubject().size(), LongLine);
    // Folding such a header stays linear; the folded header reads back the same.
    std::string folded = FoldHeaderText(message.HeaderLines[1]);
    TMailMessage reread;
    reread.ParseText(folded + "\r\n", true);
    EXPECT_EQ(reread.HeaderLines[0], message.HeaderLines[1]);
}

TEST(HostileInput, LongLineEncodesAndDecodes) {
    std::string line(LongLine, '\xE9');
    std::string encoded = EncodeQuotedPrintable(line, TQpMode::Body);
    EXPECT_EQ(DecodeQuotedPrintable(encoded), line + "\r\n");
}

TEST(HostileInput, ManyFoldedHeaderLinesJoinLinearly) {
    std::string text = "X-Long: start\r\n";
    for (int i = 0; i < 200000; ++i) text += " more\r\n";
    text += "\r\nbody";
    TMailMessage message;
    message.ParseText(text, true);
    ASSERT_EQ(message.HeaderLines.size(), 1u);
    EXPECT_EQ(message.HeaderLines[0].size(), std::string("X-Long: start").size() + 200000u * 5);
}

TEST(HostileInput, ManyPartsRestructureAndBuild) {
    const int parts = 20000;
    std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n";
    for (int i = 0; i < parts; ++i)
        text += "--b\r\nContent-Type: application/octet-stream; name=f" + std::to_string(i) + ".bin\r\n\r\nx\r\n";
    text += "--b--\r\n";
    TMailMessage message;
    message.ParseText(text, true);
    message.MapParts();
    ASSERT_EQ(message.Attachments.size(), static_cast<std::size_t>(parts));
    message.Restructure(RestructureMode::IfStale);
    message.BuildBody();
    TMailMessage reread;
    reread.ParseText(message.FullText(), true);
    reread.MapParts();
    EXPECT_EQ(reread.Attachments.size(), static_cast<std::size_t>(parts));
    EXPECT_EQ(reread.PlainTextLines, (std::vector<std::string>{"body"}));
}

TEST(HostileInput, UuencodeBeginWithoutEndKeepsWhatWasDecoded) {
    TMailMessage message;
    message.ParseText("Subject: s\r\n\r\ntext\r\nbegin 644 f.bin\r\n#86)C\r\n", true);
    message.MapParts();
    ASSERT_EQ(message.Attachments.size(), 1u);
    message.Attachments[0]->DecodeBody();
    EXPECT_EQ(message.Attachments[0]->DecodedData, "abc");
}

} // namespace
} // namespace pelmora
