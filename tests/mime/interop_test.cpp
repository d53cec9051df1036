// Messages written by the builder must read back the same in another mail reader: Python's
// standard email package (tests/mime/interop_read.py) reads each built message, and its view
// of the subject, the addresses, both texts and every attachment's name and bytes is compared
// with what went in.

#include "mime/charset.h"
#include "mime/header_write.h"
#include "mime/mail_message.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

struct TAttachmentIn {
    std::string Bytes;
    std::string Name;
    bool Embedded = false;
    std::string ContentType; // empty: from the name's extension
};

// An attachment as the reader saw it; embedded parts carry no file name, the HTML finds them
// by their Content-Location or Content-ID.
struct TSeenAttachment {
    std::string Name;
    std::string Bytes;
    std::string ContentType;
    std::string Location;
    std::string Id;
};

struct TAddressIn {
    std::string Name;
    std::string Address;
};

struct TInteropCase {
    std::string Label;
    std::string Plain;
    std::string Html;
    std::vector<TAttachmentIn> Attachments;
    std::string Subject = "Interop check";
    TAddressIn Sender{"Anna Schmidt", "anna@example.org"};
    std::vector<TAddressIn> To{{"", "bob@example.org"}};
    std::vector<TAddressIn> Cc;
    std::string Charset = "utf-8";
    TEncodingType TextEncoding = etQuotedPrintable;
    TEncodingType AttachEncoding = etBase64;
    TEmbedMethod EmbedMethod = emContentLocation;
};

void PrintTo(const TInteropCase& c, std::ostream* out) {
    *out << c.Label;
}

// What the other reader saw.
struct TReaderView {
    std::string Subject;
    std::map<std::string, std::vector<TAddressIn>> Addresses;         // "from", "to", "cc"
    std::map<std::string, std::pair<std::string, std::string>> Texts; // kind: bytes, charset
    std::vector<TSeenAttachment> Attachments;
    std::vector<std::string> Defects;
};

std::string FromHex(std::string_view hex) {
    if (hex == "-")
        return {};
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
        out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    }
    return out;
}

TReaderView ParseReaderOutput(const std::string& output) {
    TReaderView view;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind, a, b, c, d, e;
        fields >> kind >> a >> b >> c >> d >> e;
        if (kind == "subject")
            view.Subject = FromHex(a);
        else if (kind == "from" || kind == "to" || kind == "cc")
            view.Addresses[kind].push_back({FromHex(a), FromHex(b)});
        else if (kind == "plain" || kind == "html")
            view.Texts[kind] = {FromHex(a), FromHex(b)};
        else if (kind == "attachment")
            view.Attachments.push_back(
                {FromHex(a), FromHex(b), FromHex(c), FromHex(d), FromHex(e)});
        else if (kind == "defect")
            view.Defects.push_back(FromHex(a));
    }
    return view;
}

// Runs the reader on a file; false with a message when it could not run.
bool RunReader(const fs::path& file, std::string& output) {
    std::string command = std::string(kPython) + " '" + PELMORA_SOURCE_DIR +
                          "/tests/mime/interop_read.py' '" + file.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    return pclose(pipe) == 0;
}

// Line ends as the reader's platform writes them, and no trailing line breaks: transport may
// add a final line break to a text, which is not a change of the text.
std::string Comparable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// The reader hands out header texts as Unicode; ours are bytes in the message's charset.
std::string AsUtf8(std::string_view text, std::string_view charset) {
    if (charset == "utf-8" || IsValidUtf8(text))
        return std::string(text);
    std::string out; // iso-8859-1: every byte is its own code point
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string BuildMessage(const TInteropCase& c) {
    TMailMessage message;
    message.Charset = c.Charset;
    message.TextEncoding = c.TextEncoding;
    message.AttachEncoding = c.AttachEncoding;
    message.EmbedMethod = c.EmbedMethod;
    message.SetSender(c.Sender.Name, c.Sender.Address);
    for (const auto& to : c.To)
        message.ToRecipients.Add(to.Name, to.Address);
    for (const auto& cc : c.Cc)
        message.CcRecipients.Add(cc.Name, cc.Address);
    message.SetSubject(c.Subject);
    message.SetHeaderValue("Date", "Tue, 12 Mar 2024 09:14:07 +0100");
    if (!c.Plain.empty())
        message.PutPlainText(c.Plain);
    if (!c.Html.empty())
        message.PutHtmlText(c.Html);
    for (const auto& attachment : c.Attachments)
        message.AttachData(attachment.Bytes, attachment.Name, attachment.Embedded,
                           attachment.ContentType);
    if (message.PartMapStale)
        message.MapParts();
    if (message.StructureStale)
        message.Restructure(RestructureMode::IfStale);
    if (message.BodyStale)
        message.BuildBody();
    return message.FullText();
}

std::string AllBytes() {
    std::string out;
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 256; ++i)
            out += static_cast<char>((i * 7 + round) & 0xFF);
    out += "\r\n--boundary\r\n=?utf-8?Q?x?=\r\nbegin 644 x\r\n";
    return out;
}

std::string LongParagraphs() {
    std::string out;
    for (int i = 0; i < 5; ++i)
        out += "Sehr geehrte Frau Müller, anbei die Übersicht für Zürich (Größe: 3 × 4 m, "
               "Preis 120,00 €) — bitte prüfen Sie a=b und 50% vor Freitag. \r\n";
    out += "From the desk of Anna\r\n.\r\nA line with trailing spaces   \r\nTabs\tinside\t\r\n";
    out += "end without line break";
    return out;
}

const std::string kHtml =
    "<html><body><p style=\"color: red\">Grüße aus Köln — <b>fett</b></p>\r\n"
    "<p><img src=\"cid:logo\"> <a href=\"https://example.org/?a=1&amp;b=2\">Link</a></p>\r\n"
    "</body></html>\r\n";

std::vector<TInteropCase> Cases() {
    std::vector<TInteropCase> cases;
    TInteropCase c;

    c = {};
    c.Label = "PlainTextOnly";
    c.Plain = LongParagraphs();
    c.Subject = "Grüße aus Köln (neu)";
    c.Sender = {"Jörg Müller", "joerg@example.org"};
    cases.push_back(c);

    // Long enough to be folded; the encoded word holds a ";" and a "," where a fold may not go.
    c = {};
    c.Label = "LongSubjectWithPunctuation";
    c.Plain = "Text\r\n";
    c.Subject = "Grüße aus Köln: Übersicht; Termin, Ort und Zeit (neu) für die nächste Woche";
    cases.push_back(c);

    c = {};
    c.Label = "HtmlOnly";
    c.Html = kHtml;
    cases.push_back(c);

    c = {};
    c.Label = "PlainAndHtml";
    c.Plain = LongParagraphs();
    c.Html = kHtml;
    cases.push_back(c);

    c = {};
    c.Label = "Base64TextsLatin1Label";
    c.Charset = "iso-8859-1";
    c.TextEncoding = etBase64;
    c.Plain = "Gr\xFC\xDF"
              "e aus K\xF6ln\r\nzweite Zeile\r\n";
    c.Html = "<p>Gr\xFC\xDF"
             "e</p>\r\n";
    c.Subject = "Gr\xFC\xDF"
                "e";
    cases.push_back(c);

    c = {};
    c.Label = "HtmlWithEmbeddedImagesByLocation";
    c.Html = kHtml;
    c.Attachments = {{AllBytes(), "logo.png", true, "image/png"},
                     {std::string(70000, '\x89'), "Hintergrund Bild.gif", true, ""}};
    cases.push_back(c);

    c = {};
    c.Label = "HtmlWithEmbeddedImageByContentId";
    c.EmbedMethod = emContentID;
    c.Plain = "Plain alternative";
    c.Html = kHtml;
    c.Attachments = {{AllBytes(), "logo.png", true, "image/png"}};
    cases.push_back(c);

    c = {};
    c.Label = "TextWithAttachmentsNamedOutsideAscii";
    c.Plain = "See the attached files.\r\n";
    c.Attachments = {{AllBytes(), "Büro: Plan?.pdf", false, ""},
                     {"plain text file\r\nsecond line\r\n", "notes (draft).txt", false, ""},
                     {std::string(200000, 'x') + AllBytes(), "große Datei.bin", false, ""},
                     {"", "empty.dat", false, "application/octet-stream"}};
    cases.push_back(c);

    c = {};
    c.Label = "SingleAttachmentOnly";
    c.Attachments = {{AllBytes(), "Übergabe.zip", false, "application/zip"}};
    cases.push_back(c);

    c = {};
    c.Label = "QuotedPrintableAttachment";
    c.AttachEncoding = etQuotedPrintable;
    c.Plain = "Text\r\n";
    c.Attachments = {{AllBytes(), "table.csv", false, "text/csv"}};
    cases.push_back(c);

    c = {};
    c.Label = "EverythingWithLongFoldedHeaders";
    c.Plain = LongParagraphs();
    c.Html = kHtml;
    c.Attachments = {{AllBytes(), "logo.png", true, "image/png"},
                     {AllBytes(), "Angebot für Zoë.pdf", false, ""}};
    c.Subject = "Ein sehr langer Betreff mit Umlauten äöü, der weit über die übliche Länge "
                "einer Kopfzeile hinausgeht und daher gefaltet werden muss";
    c.To.clear();
    for (int i = 0; i < 12; ++i)
        c.To.push_back({i % 3 == 0   ? "Søren Berg " + std::to_string(i)
                        : i % 3 == 1 ? ""
                                     : "Maria Dupont",
                        "person" + std::to_string(i) + "@example" + std::to_string(i) + ".org"});
    c.Cc = {{"Łukasz Nowak", "lukasz@example.pl"}, {"", "team@example.org"}};
    cases.push_back(c);

    // A long Japanese subject and name: many short encoded words, folded between them.
    c = {};
    c.Label = "LongJapaneseSubjectAndNames";
    c.Plain = "本文です。\r\n";
    std::string japanese;
    for (int i = 0; i < 40; ++i)
        japanese += "日本語の件名です";
    c.Subject = japanese;
    c.Sender = {"山田 太郎 (営業部), 東京本社", "yamada@example.jp"};
    c.Attachments = {{AllBytes(), "見積書_" + japanese.substr(0, 120) + ".pdf", false, ""},
                     {AllBytes(), std::string(300, 'n') + ".txt", false, ""}};
    cases.push_back(c);

    // UTF-8 texts in a message whose charset label says otherwise (as a receipt is made):
    // every word is labelled by its bytes, so the name reads right.
    c = {};
    c.Label = "Utf8BytesUnderLatin1Label";
    c.Charset = "iso-8859-1";
    c.Plain = "Text\r\n";
    c.Sender = {"Tëst Üser", "test@example.org"};
    c.Subject = "Lesebestätigung";
    cases.push_back(c);
    return cases;
}

class InteropTest : public testing::TestWithParam<TInteropCase> {};

TEST_P(InteropTest, PythonEmailPackageReadsWhatWasBuilt) {
    if (access(kPython, X_OK) != 0)
        GTEST_SKIP() << kPython << " is missing";
    const TInteropCase& c = GetParam();

    char pattern[] = "/tmp/pelmora-interop-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path dir = pattern;
    fs::path file = dir / "message.eml";
    std::string built = BuildMessage(c);
    {
        std::ofstream out(file, std::ios::binary);
        out << built;
    }
    std::string output;
    bool ran = RunReader(file, output);
    fs::remove_all(dir);
    ASSERT_TRUE(ran) << output;
    TReaderView view = ParseReaderOutput(output);
    SCOPED_TRACE("built message:\n" + built.substr(0, 4000));

    // The reader finds nothing to complain about: no encoded word inside quotes, no line
    // over its limit.
    for (const auto& defect : view.Defects)
        ADD_FAILURE() << defect;
    std::size_t lineStart = 0;
    const std::size_t headerEnd = built.find("\r\n\r\n");
    while (lineStart < built.size()) {
        std::size_t lineEnd = built.find("\r\n", lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = built.size();
        EXPECT_LE(lineEnd - lineStart, 998u) << built.substr(lineStart, 80);
        // Header lines of the message and of every part stay within 78 characters.
        const bool header = lineStart < headerEnd ||
                            built.compare(lineStart, 8, "Content-") == 0 ||
                            built.compare(lineStart, 20, "X-Pelmora-Attachment") == 0 ||
                            (built[lineStart] == '\t');
        if (header) {
            EXPECT_LE(lineEnd - lineStart, 78u) << built.substr(lineStart, lineEnd - lineStart);
        }
        lineStart = lineEnd + 2;
    }

    EXPECT_EQ(view.Subject, AsUtf8(c.Subject, c.Charset));
    ASSERT_EQ(view.Addresses["from"].size(), 1u);
    EXPECT_EQ(view.Addresses["from"][0].Address, c.Sender.Address);
    auto checkList = [&](const std::string& kind, const std::vector<TAddressIn>& expected) {
        const auto& seen = view.Addresses[kind];
        ASSERT_EQ(seen.size(), expected.size()) << kind;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(seen[i].Address, expected[i].Address) << kind << " " << i;
            EXPECT_EQ(seen[i].Name, AsUtf8(expected[i].Name, c.Charset)) << kind << " " << i;
        }
    };
    checkList("to", c.To);
    checkList("cc", c.Cc);
    EXPECT_EQ(view.Addresses["from"][0].Name, AsUtf8(c.Sender.Name, c.Charset));

    auto checkText = [&](const std::string& kind, const std::string& expected) {
        if (expected.empty()) {
            EXPECT_EQ(view.Texts.count(kind), 0u) << kind;
            return;
        }
        ASSERT_EQ(view.Texts.count(kind), 1u) << "no " << kind << " text seen";
        EXPECT_EQ(Comparable(view.Texts[kind].first), Comparable(expected)) << kind;
        EXPECT_EQ(view.Texts[kind].second, LabelForBytes(expected, c.Charset)) << kind;
    };
    checkText("plain", c.Plain);
    checkText("html", c.Html);

    // Embedded parts come first in the built structure. Ordinary attachments are found by
    // their file name; embedded ones by the Content-Location or Content-ID the HTML refers to.
    ASSERT_EQ(view.Attachments.size(), c.Attachments.size());
    for (const auto& expected : c.Attachments) {
        auto matches = [&](const TSeenAttachment& a) {
            if (!expected.Embedded)
                return a.Name == expected.Name;
            if (c.EmbedMethod == emContentID)
                return a.Id == "<" + expected.Name + ">";
            return a.Location ==
                   std::string(DefaultContentLocationBase) + PercentEncodeLocation(expected.Name);
        };
        auto seen = std::find_if(view.Attachments.begin(), view.Attachments.end(), matches);
        ASSERT_NE(seen, view.Attachments.end()) << "no attachment for " << expected.Name;
        EXPECT_EQ(seen->Bytes.size(), expected.Bytes.size()) << expected.Name;
        EXPECT_TRUE(seen->Bytes == expected.Bytes) << expected.Name;
        if (!expected.ContentType.empty()) {
            EXPECT_EQ(seen->ContentType, expected.ContentType) << expected.Name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Built, InteropTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<TInteropCase>& info) {
                             return info.param.Label;
                         });

} // namespace
} // namespace pelmora
