// mime_corpus_gen: writes the inputs of the mail format benchmarks into a directory.
//
//   corpus/msg_NNNN.eml   messages of mixed kinds (plain, quoted-printable, HTML with a plain
//                         alternative, base64 attachments of mixed sizes, embedded images,
//                         nested multiparts with a forwarded message, uuencoded files)
//   large.eml             one message of about 50 MiB carrying large base64 attachments
//   base64.txt            about 200 MiB of base64 text in 76-character lines (LF line ends,
//                         so that a stand-alone base64 decoder reads the very same file)
//   qp.txt                about 200 MiB of quoted-printable encoded everyday text (CR LF)
//   recipients_lines.eml  a message of 4,000 To lines; recipients_list.eml one To header of
//                         25,000 addresses; each with an ordinary message of the same size
//                         beside it (*_ordinary.eml) for the folder listing benchmark
//   tiny_parts.eml        about 20 MB made of some 200,000 tiny parts (peak memory)
//
// --codec-shape 2 gives the codec inputs another shape: base64 in lines of 73 characters (groups
// run across line ends) and quoted-printable of Cyrillic text (nearly every byte escaped).
// The output is deterministic for a given seed, so runs on different days compare.
// This program writes its own encodings and does not use the library it feeds.

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmora::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCrLf = "\r\n";
constexpr std::size_t kMiB = 1024 * 1024;

class TGenerator {
public:
    explicit TGenerator(std::uint32_t seed) : Random(seed) {}

    std::uint32_t Next() { return static_cast<std::uint32_t>(Random()); }
    // Uniform in [low, high].
    std::size_t Between(std::size_t low, std::size_t high) {
        return low + static_cast<std::size_t>(Next() % (high - low + 1));
    }
    bool Chance(unsigned percent) { return Next() % 100 < percent; }

    std::string Bytes(std::size_t size) {
        std::string out(size, '\0');
        std::size_t i = 0;
        for (; i + 4 <= size; i += 4) {
            std::uint32_t value = Next();
            for (int k = 0; k < 4; ++k)
                out[i + k] = static_cast<char>((value >> (8 * k)) & 0xFF);
        }
        for (; i < size; ++i)
            out[i] = static_cast<char>(Next() & 0xFF);
        return out;
    }

    std::string_view Word() {
        static constexpr std::array<std::string_view, 96> words = {
            "the",      "project",   "meeting",  "report",    "please",  "find",     "attached",
            "draft",    "we",        "will",     "send",      "the",     "invoice",  "next",
            "week",     "and",       "of",       "to",        "in",      "is",       "for",
            "on",       "that",      "with",     "as",        "this",    "by",       "from",
            "at",       "be",        "have",     "are",       "not",     "you",      "all",
            "your",     "can",       "our",      "more",      "about",   "schedule", "budget",
            "review",   "customer",  "delivery", "contract",  "update",  "question", "answer",
            "thanks",   "regards",   "tomorrow", "morning",   "evening", "number",   "price",
            "offer",    "order",     "shipment", "office",    "team",    "plan",     "information",
            "changes",  "version",   "document", "signature", "address", "phone",    "call",
            "discuss",  "agree",     "confirm",  "deadline",  "Friday",  "Monday",   "café",
            "Größe",    "naïve",     "Zürich",   "señor",     "Ærø",     "façade",   "résumé",
            "€ 120,00", "Übersicht", "déjà",     "Müller",    "crème",   "Łódź",     "coördinate",
            "zoë",      "a=b",       "50%",      "(draft)",   "e-mail"};
        // Accented words come up about one time in eight, as in a European office.
        std::size_t index = Next() % words.size();
        if (index >= 80 && !Chance(35))
            index = Next() % 80;
        return words[index];
    }

    std::string Sentence() {
        std::string out;
        std::size_t count = Between(5, 16);
        for (std::size_t i = 0; i < count; ++i) {
            std::string_view word = Word();
            if (i == 0 && !word.empty() && word[0] >= 'a' && word[0] <= 'z') {
                out += static_cast<char>(word[0] - 'a' + 'A');
                out.append(word.substr(1));
            } else {
                out.append(word);
            }
            out += (i + 1 == count) ? (Chance(15) ? "?" : ".") : (Chance(8) ? ", " : " ");
        }
        return out;
    }

    std::string Paragraph() {
        std::string out;
        std::size_t count = Between(1, 6);
        for (std::size_t i = 0; i < count; ++i) {
            if (i)
                out += ' ';
            out += Sentence();
        }
        return out;
    }

private:
    std::mt19937 Random;
};

// Wraps a paragraph at spaces so that no line passes 72 characters (plain 7bit/8bit mail).
std::string Wrap(std::string_view text, std::size_t width = 72) {
    std::string out;
    std::size_t lineStart = 0;
    std::size_t lastSpace = std::string_view::npos;
    std::string line;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || i - lineStart > width) {
            std::size_t cut =
                (i == text.size() || lastSpace == std::string_view::npos) ? i : lastSpace;
            out.append(text.substr(lineStart, cut - lineStart));
            out.append(kCrLf);
            lineStart = (cut < text.size() && text[cut] == ' ') ? cut + 1 : cut;
            lastSpace = std::string_view::npos;
            if (i == text.size())
                break;
        }
        if (text[i] == ' ')
            lastSpace = i;
    }
    return out;
}

std::string Base64(std::string_view data, std::string_view lineEnd) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(data.size() / 57 * (76 + lineEnd.size()) + 80);
    for (std::size_t pos = 0; pos < data.size(); pos += 57) {
        std::size_t end = std::min(data.size(), pos + 57);
        std::size_t i = pos;
        for (; i + 3 <= end; i += 3) {
            auto a = static_cast<unsigned char>(data[i]);
            auto b = static_cast<unsigned char>(data[i + 1]);
            auto c = static_cast<unsigned char>(data[i + 2]);
            out += alphabet[a >> 2];
            out += alphabet[((a & 3) << 4) | (b >> 4)];
            out += alphabet[((b & 15) << 2) | (c >> 6)];
            out += alphabet[c & 63];
        }
        if (end - i == 1) {
            auto a = static_cast<unsigned char>(data[i]);
            out += alphabet[a >> 2];
            out += alphabet[(a & 3) << 4];
            out += "==";
        } else if (end - i == 2) {
            auto a = static_cast<unsigned char>(data[i]);
            auto b = static_cast<unsigned char>(data[i + 1]);
            out += alphabet[a >> 2];
            out += alphabet[((a & 3) << 4) | (b >> 4)];
            out += alphabet[(b & 15) << 2];
            out += '=';
        }
        out.append(lineEnd);
    }
    return out;
}

// Quoted-printable as common mail programs write it: 76-character lines with soft breaks,
// escapes for "=", bytes above 126 and white space before a line end; CR LF line ends.
std::string QuotedPrintable(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t lineLength = 0;
    auto put = [&](std::string_view piece) {
        if (lineLength + piece.size() > 75) {
            out += "=\r\n";
            lineLength = 0;
        }
        out.append(piece);
        lineLength += piece.size();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out.append(kCrLf);
            lineLength = 0;
            ++i;
            continue;
        }
        bool beforeLineEnd = i + 1 == text.size() || text[i + 1] == '\r';
        bool literal =
            (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !beforeLineEnd);
        if (literal) {
            char one = static_cast<char>(c);
            put(std::string_view(&one, 1));
        } else {
            char triple[3] = {'=', hex[c >> 4], hex[c & 15]};
            put(std::string_view(triple, 3));
        }
    }
    if (lineLength)
        out.append(kCrLf);
    return out;
}

std::string UuEncode(std::string_view data) {
    auto put = [](std::string& out, unsigned value) {
        out += value ? static_cast<char>(value + 32) : '`';
    };
    std::string out;
    for (std::size_t pos = 0; pos < data.size(); pos += 45) {
        std::size_t n = std::min<std::size_t>(45, data.size() - pos);
        put(out, static_cast<unsigned>(n));
        for (std::size_t i = 0; i < n; i += 3) {
            unsigned a = static_cast<unsigned char>(data[pos + i]);
            unsigned b = i + 1 < n ? static_cast<unsigned char>(data[pos + i + 1]) : 0;
            unsigned c = i + 2 < n ? static_cast<unsigned char>(data[pos + i + 2]) : 0;
            put(out, a >> 2);
            put(out, ((a & 3) << 4) | (b >> 4));
            put(out, ((b & 15) << 2) | (c >> 6));
            put(out, c & 63);
        }
        out.append(kCrLf);
    }
    out += "`\r\n";
    return out;
}

std::string Hex8(std::uint32_t value) {
    char buffer[8];
    for (int i = 7; i >= 0; --i) {
        buffer[i] = "0123456789abcdef"[value & 15];
        value >>= 4;
    }
    return std::string(buffer, 8);
}

std::string Number(std::size_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

class TMessageWriter {
public:
    explicit TMessageWriter(TGenerator& generator) : Gen(generator) {}

    std::string Message(std::size_t index) {
        unsigned roll = Gen.Next() % 100;
        std::string head = Headers(index);
        if (roll < 15)
            return head + PlainSingle(false);
        if (roll < 30)
            return head + PlainSingle(true);
        if (roll < 50)
            return head + Alternative();
        if (roll < 70)
            return head + Mixed();
        if (roll < 80)
            return head + Related();
        if (roll < 92)
            return head + Nested(index);
        return head + Uuencoded();
    }

    std::string LargeMessage(std::size_t targetBytes) {
        std::string out = Headers(999999);
        std::string boundary = Boundary();
        out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
        out += "This is a multi-part message in MIME format.\r\n";
        out += "--" + boundary + "\r\n" + AlternativeBody();
        // Raw sizes as shares of what the encoded attachments must add up to.
        static constexpr std::array<double, 5> shares = {0.32, 0.24, 0.20, 0.16, 0.08};
        static constexpr std::array<std::string_view, 5> names = {
            "site-survey.tar", "scan-2024-03.pdf", "photo-archive.zip", "recording.wav",
            "Übergabeprotokoll.docx"};
        std::size_t encodedTarget = targetBytes > out.size() ? targetBytes - out.size() : 0;
        std::size_t rawTarget = encodedTarget / 78 * 57;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            auto size = static_cast<std::size_t>(static_cast<double>(rawTarget) * shares[i]);
            out += "--" + boundary + "\r\n";
            out += AttachmentPart(names[i], "application/octet-stream", Gen.Bytes(size));
        }
        out += "--" + boundary + "--\r\n";
        return out;
    }

private:
    std::string Boundary() { return "----=_Part_" + Hex8(Gen.Next()) + "." + Hex8(Gen.Next()); }

    std::string Address(std::size_t k) {
        static constexpr std::array<std::string_view, 8> first = {
            "Anna", "Jörg", "Maria", "Peter", "Søren", "Lucía", "Tom", "Ewa"};
        static constexpr std::array<std::string_view, 8> last = {
            "Schmidt", "Novák", "García", "Jones", "Dupont", "Kowalska", "Rossi", "Berg"};
        std::string_view f = first[(k + Gen.Next()) % first.size()];
        std::string_view l = last[(k * 3 + Gen.Next()) % last.size()];
        std::string mailbox = std::string(f) + "." + std::string(l);
        for (char& c : mailbox)
            if (static_cast<unsigned char>(c) > 127 || c == ' ')
                c = 'x';
        std::string address = mailbox + "@example" + Number(k % 7) + ".org";
        unsigned style = Gen.Next() % 4;
        if (style == 0)
            return address;
        if (style == 1)
            return "\"" + std::string(l) + ", " + std::string(f) + "\" <" + address + ">";
        if (style == 2)
            return "=?utf-8?Q?" + EncodedWordText(std::string(f) + " " + std::string(l)) + "?= <" +
                   address + ">";
        return std::string(f) + " " + std::string(l) + " <" + address + ">";
    }

    static std::string EncodedWordText(std::string_view text) {
        static constexpr char hex[] = "0123456789ABCDEF";
        std::string out;
        for (char ch : text) {
            auto c = static_cast<unsigned char>(ch);
            if (c == ' ')
                out += '_';
            else if (c > 126 || c == '=' || c == '?' || c == '_' || c < 33)
                out += {'=', hex[c >> 4], hex[c & 15]};
            else
                out += ch;
        }
        return out;
    }

    std::string Headers(std::size_t index) {
        std::string out;
        out += "Return-Path: <sender" + Number(index % 13) + "@example.org>\r\n";
        std::size_t hops = Gen.Between(2, 4);
        for (std::size_t i = 0; i < hops; ++i) {
            out += "Received: from relay" + Number(i) + ".example.net (relay" + Number(i) +
                   ".example.net [192.0.2." + Number(10 + i) +
                   "])\r\n"
                   "\tby mx.example.org with ESMTPS id " +
                   Hex8(Gen.Next()) +
                   "\r\n\tfor <inbox@example.org>; Tue, 12 Mar 2024 09:" + Number(10 + i) +
                   ":07 +0100\r\n";
        }
        out += "Date: Tue, 12 Mar 2024 09:14:" + Number(10 + index % 50) + " +0100\r\n";
        out += "From: " + Address(index) + "\r\n";
        std::size_t recipients = Gen.Between(1, 7);
        out += "To: ";
        for (std::size_t i = 0; i < recipients; ++i) {
            if (i)
                out += ",\r\n    ";
            out += Address(index + i + 1);
        }
        out += "\r\n";
        if (Gen.Chance(30))
            out += "Cc: " + Address(index + 11) + ", " + Address(index + 12) + "\r\n";
        std::string subject = Gen.Sentence();
        if (Gen.Chance(25))
            out += "Subject: =?utf-8?Q?" + EncodedWordText(subject.substr(0, 50)) + "?=\r\n";
        else if (Gen.Chance(10))
            out +=
                "Subject: =?utf-8?B?" + Base64(subject.substr(0, 45), "").substr(0, 60) + "?=\r\n";
        else
            out += "Subject: " + subject + "\r\n";
        out += "Message-ID: <" + Hex8(Gen.Next()) + "." + Number(index) + "@example.org>\r\n";
        if (Gen.Chance(40))
            out += "In-Reply-To: <" + Hex8(Gen.Next()) + "@PXID1234>\r\nReferences: <" +
                   Hex8(Gen.Next()) + "@PXID1234>\r\n\t<" + Hex8(Gen.Next()) + "@example.org>\r\n";
        out += "X-Priority: 3 (Normal)\r\n";
        out += "MIME-Version: 1.0\r\n";
        return out;
    }

    std::string Text(std::size_t paragraphs) {
        std::string out;
        for (std::size_t i = 0; i < paragraphs; ++i) {
            if (i)
                out += "\r\n";
            out += Gen.Paragraph();
            out += "\r\n";
        }
        return out;
    }

    std::string Html(std::size_t paragraphs) {
        std::string out = "<html><head><meta http-equiv=\"Content-Type\" "
                          "content=\"text/html; charset=utf-8\"></head>\r\n"
                          "<body style=\"font-family: Arial; font-size: 10pt\">\r\n";
        for (std::size_t i = 0; i < paragraphs; ++i) {
            out += "<p class=\"MsoNormal\" style=\"margin: 0cm 0cm 8pt\">" + Gen.Paragraph();
            if (Gen.Chance(30))
                out += " <a href=\"https://example.org/item?id=" + Number(Gen.Next() % 9999) +
                       "&amp;view=full\">link</a>";
            out += "</p>\r\n";
        }
        out += "</body></html>\r\n";
        return out;
    }

    std::string PlainSingle(bool quotedPrintable) {
        std::size_t paragraphs = Gen.Between(1, 30);
        if (!quotedPrintable) {
            std::string body;
            for (std::size_t i = 0; i < paragraphs; ++i)
                body += Wrap(Gen.Paragraph()) + "\r\n";
            return "Content-Type: text/plain; charset=utf-8; format=flowed\r\n"
                   "Content-Transfer-Encoding: 8bit\r\n\r\n" +
                   body;
        }
        return "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
               QuotedPrintable(Text(paragraphs));
    }

    std::string TextPart(std::string_view type, const std::string& text) {
        return "Content-Type: " + std::string(type) +
               "; charset=\"utf-8\"\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
               QuotedPrintable(text);
    }

    std::string AlternativeBody() {
        std::string boundary = Boundary();
        std::size_t paragraphs = Gen.Between(1, 20);
        std::string out =
            "Content-Type: multipart/alternative;\r\n\tboundary=\"" + boundary + "\"\r\n\r\n";
        out += "--" + boundary + "\r\n" + TextPart("text/plain", Text(paragraphs)) + "\r\n";
        out += "--" + boundary + "\r\n" + TextPart("text/html", Html(paragraphs)) + "\r\n";
        out += "--" + boundary + "--\r\n";
        return out;
    }

    std::string Alternative() { return AlternativeBody(); }

    std::size_t AttachmentSize() {
        unsigned roll = Gen.Next() % 100;
        if (roll < 80)
            return Gen.Between(1 * 1024, 30 * 1024);
        if (roll < 98)
            return Gen.Between(30 * 1024, 150 * 1024);
        return Gen.Between(150 * 1024, 600 * 1024);
    }

    std::string AttachmentPart(std::string_view name, std::string_view type,
                               const std::string& data, bool inlineImage = false) {
        bool encodedName = false;
        for (char c : name)
            encodedName = encodedName || static_cast<unsigned char>(c) > 127;
        std::string shown =
            encodedName ? "=?utf-8?Q?" + EncodedWordText(name) + "?=" : std::string(name);
        std::string out = "Content-Type: " + std::string(type) + ";\r\n\tname=\"" + shown +
                          "\"\r\nContent-Transfer-Encoding: base64\r\n";
        if (inlineImage)
            out += "Content-ID: <" + std::string(name) + "@" + Hex8(Gen.Next()) +
                   ">\r\n"
                   "Content-Disposition: inline; filename=\"" +
                   shown + "\"\r\n\r\n";
        else
            out += "Content-Disposition: attachment;\r\n\tfilename=\"" + shown + "\"\r\n\r\n";
        out += Base64(data, kCrLf);
        return out;
    }

    std::string OrdinaryAttachment(std::size_t k) {
        static constexpr std::array<std::string_view, 6> names = {"offer.pdf", "budget.xlsx",
                                                                  "photo.jpg", "Bestätigung.pdf",
                                                                  "notes.zip", "plan (final).docx"};
        static constexpr std::array<std::string_view, 6> types = {
            "application/pdf",
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
            "image/jpeg",
            "application/pdf",
            "application/zip",
            "application/vnd.openxmlformats-officedocument.wordprocessingml.document"};
        std::size_t which = (k + Gen.Next()) % names.size();
        return AttachmentPart(names[which], types[which], Gen.Bytes(AttachmentSize()));
    }

    std::string Mixed() {
        std::string boundary = Boundary();
        std::string out = "Content-Type: multipart/mixed; boundary=\"" + boundary +
                          "\"\r\n\r\n"
                          "This is a multi-part message in MIME format.\r\n";
        out += "--" + boundary + "\r\n";
        out += Gen.Chance(50) ? TextPart("text/plain", Text(Gen.Between(1, 8))) : AlternativeBody();
        std::size_t count = Gen.Between(1, 3);
        for (std::size_t i = 0; i < count; ++i)
            out += "\r\n--" + boundary + "\r\n" + OrdinaryAttachment(i);
        out += "\r\n--" + boundary + "--\r\n";
        return out;
    }

    std::string RelatedBody() {
        std::string boundary = Boundary();
        std::string out = "Content-Type: multipart/related;\r\n\ttype=\"multipart/alternative\";"
                          "\r\n\tboundary=\"" +
                          boundary + "\"\r\n\r\n";
        out += "--" + boundary + "\r\n" + AlternativeBody();
        std::size_t images = Gen.Between(1, 3);
        for (std::size_t i = 0; i < images; ++i) {
            std::string name = "image00" + Number(i + 1) + ".png";
            out += "\r\n--" + boundary + "\r\n" +
                   AttachmentPart(name, "image/png", Gen.Bytes(Gen.Between(2048, 60 * 1024)), true);
        }
        out += "\r\n--" + boundary + "--\r\n";
        return out;
    }

    std::string Related() { return RelatedBody(); }

    std::string Nested(std::size_t index) {
        std::string boundary = Boundary();
        std::string out = "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
        out += "--" + boundary + "\r\n" + RelatedBody();
        out += "\r\n--" + boundary + "\r\n" + OrdinaryAttachment(index);
        // A forwarded message carrying its own multipart body.
        out += "\r\n--" + boundary +
               "\r\nContent-Type: message/rfc822\r\n"
               "Content-Disposition: attachment; filename=\"forwarded.eml\"\r\n\r\n";
        out += Headers(index + 5000) + Mixed();
        out += "\r\n--" + boundary + "--\r\n";
        return out;
    }

    std::string Uuencoded() {
        // Old-style mail: no MIME headers, files uuencoded into the plain body.
        std::string out = "\r\n" + Text(Gen.Between(1, 5));
        std::size_t files = Gen.Between(1, 2);
        for (std::size_t i = 0; i < files; ++i) {
            out += "\r\nbegin 644 archive" + Number(i) + ".bin\r\n";
            out += UuEncode(Gen.Bytes(AttachmentSize()));
            out += "end\r\n";
        }
        out += "\r\n" + Text(1);
        return out;
    }

    TGenerator& Gen; // Not owned.
};

// Header of the listing inputs; `to` is the whole recipient part of the header.
std::string ListingHead(std::string_view to) {
    std::string out = "From: \"Anna Schmidt\" <anna@example.org>\r\n";
    out += to;
    out += "Subject: Quarterly figures for the whole team\r\n"
           "Date: Tue, 12 Mar 2024 09:14:07 +0100\r\n"
           "Message-ID: <listing.1@example.org>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n\r\n";
    return out;
}

std::string Recipient(std::size_t i) {
    std::string number = Number(i);
    if (i % 3 == 0)
        return "\"Berg, S\xC3\xB8ren " + number + "\" <soren." + number + "@example.org>";
    if (i % 3 == 1)
        return "person" + number + "@example" + Number(i % 97) + ".net";
    return "=?utf-8?Q?Ma=C3=AFa_Dupont?= <maia" + number + "@example.fr>";
}

// The listing inputs: a message of `lines` To header lines of one recipient each, a message of
// one To header folded over `addresses` recipients, and for each an ordinary message of the
// same size (one recipient, the rest a text body) to compare with.
std::vector<std::pair<std::string, std::string>> ListingMessages(TGenerator& gen, std::size_t lines,
                                                                 std::size_t addresses) {
    std::vector<std::pair<std::string, std::string>> out;
    auto withOrdinary = [&](const std::string& name, const std::string& message) {
        out.emplace_back(name + ".eml", message);
        std::string ordinary = ListingHead("To: " + Recipient(1) + "\r\n");
        while (ordinary.size() < message.size())
            ordinary += Wrap(gen.Paragraph()) + "\r\n";
        out.emplace_back(name + "_ordinary.eml", ordinary);
    };
    std::string to;
    for (std::size_t i = 0; i < lines; ++i)
        to += "To: " + Recipient(i) + "\r\n";
    withOrdinary("recipients_lines", ListingHead(to) + Wrap(gen.Paragraph()));
    to = "To: ";
    for (std::size_t i = 0; i < addresses; ++i)
        to += Recipient(i) + (i + 1 < addresses ? ",\r\n " : "\r\n");
    withOrdinary("recipients_list", ListingHead(to) + Wrap(gen.Paragraph()));
    return out;
}

// A message of about `target` bytes made of tiny parts of about 100 bytes each.
std::string TinyPartsMessage(std::size_t target) {
    std::string out = ListingHead("To: bob@example.org\r\n");
    out.replace(out.find("text/plain; charset=utf-8"), 25, "multipart/mixed; boundary=\"t\"");
    for (std::size_t i = 0; out.size() < target; ++i) {
        out += "--t\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=f";
        out += Number(i);
        out += ".txt\r\n\r\npart ";
        out += Number(i);
        out += "\r\n";
    }
    out += "--t--\r\n";
    return out;
}

bool WriteFile(const fs::path& path, std::string_view data) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    file.close();
    if (!file) {
        std::cerr << "mime_corpus_gen: cannot write " << path << "\n";
        return false;
    }
    return true;
}

// Streams about `target` bytes of encoded text into a file, piece by piece.
template <typename MakePiece>
bool WriteStream(const fs::path& path, std::size_t target, MakePiece makePiece) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::size_t written = 0;
    while (file && written < target) {
        std::string piece = makePiece();
        file.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        written += piece.size();
    }
    file.close();
    if (!file) {
        std::cerr << "mime_corpus_gen: cannot write " << path << "\n";
        return false;
    }
    return true;
}

// Base64 text re-cut into lines of `width` characters, LF-ended.
std::string Rewrapped(std::string_view text, std::size_t width) {
    std::string bare;
    bare.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n')
            bare += c;
    std::string out;
    out.reserve(bare.size() + bare.size() / width + 1);
    for (std::size_t pos = 0; pos < bare.size(); pos += width) {
        out.append(bare, pos, width);
        out += '\n';
    }
    return out;
}

// The letters a-z of text written as Cyrillic letters (two UTF-8 bytes each).
std::string Cyrillic(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        if (c < 'a' || c > 'z') {
            out += c;
            continue;
        }
        const int letter = 0x430 + (c - 'a');
        out += static_cast<char>(0xC0 | (letter >> 6));
        out += static_cast<char>(0x80 | (letter & 0x3F));
    }
    return out;
}

bool ReadSize(std::string_view text, std::size_t& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

int Run(int argc, char** argv) {
    std::size_t messages = 2000;
    std::size_t largeMiB = 50;
    std::size_t codecMiB = 200;
    std::size_t seed = 20240312;
    std::size_t codecShape = 1;
    fs::path outDir;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::size_t& target) {
            if (i + 1 >= argc || !ReadSize(argv[i + 1], target)) {
                std::cerr << "mime_corpus_gen: " << arg << " needs a number\n";
                return false;
            }
            ++i;
            return true;
        };
        bool ok = true;
        if (arg == "--messages")
            ok = value(messages);
        else if (arg == "--large-mib")
            ok = value(largeMiB);
        else if (arg == "--codec-mib")
            ok = value(codecMiB);
        else if (arg == "--seed")
            ok = value(seed);
        else if (arg == "--codec-shape")
            ok = value(codecShape);
        else if (!arg.empty() && arg[0] != '-' && outDir.empty())
            outDir = arg;
        else
            ok = false;
        if (!ok) {
            std::cerr << "usage: mime_corpus_gen OUTDIR [--messages N] [--large-mib N] "
                         "[--codec-mib N] [--seed N] [--codec-shape 1|2]\n";
            return 2;
        }
    }
    if (outDir.empty()) {
        std::cerr << "usage: mime_corpus_gen OUTDIR [--messages N] [--large-mib N] "
                     "[--codec-mib N] [--seed N] [--codec-shape 1|2]\n";
        return 2;
    }
    std::error_code error;
    fs::create_directories(outDir / "corpus", error);
    if (error) {
        std::cerr << "mime_corpus_gen: cannot create " << outDir << ": " << error.message() << "\n";
        return 1;
    }
    TGenerator gen(static_cast<std::uint32_t>(seed));
    TMessageWriter writer(gen);
    std::size_t corpusBytes = 0;
    for (std::size_t i = 0; i < messages; ++i) {
        std::string name = "msg_" +
                           std::string(4 - std::min<std::size_t>(4, Number(i).size()), '0') +
                           Number(i) + ".eml";
        std::string message = writer.Message(i);
        corpusBytes += message.size();
        if (!WriteFile(outDir / "corpus" / name, message))
            return 1;
    }
    for (const auto& [name, message] : ListingMessages(gen, 4000, 25000)) {
        if (!WriteFile(outDir / name, message))
            return 1;
    }
    std::string tiny = TinyPartsMessage(20 * 1000 * 1000);
    if (!WriteFile(outDir / "tiny_parts.eml", tiny))
        return 1;
    std::string large = writer.LargeMessage(largeMiB * kMiB);
    if (!WriteFile(outDir / "large.eml", large))
        return 1;
    if (!WriteStream(outDir / "base64.txt", codecMiB * kMiB, [&] {
            std::string text = Base64(gen.Bytes(57 * 1024), "\n");
            return codecShape == 2 ? Rewrapped(text, 73) : text;
        }))
        return 1;
    if (!WriteStream(outDir / "qp.txt", codecMiB * kMiB, [&] {
            std::string text;
            for (int i = 0; i < 64; ++i)
                text += gen.Paragraph() + "\r\n\r\n";
            return QuotedPrintable(codecShape == 2 ? Cyrillic(text) : text);
        }))
        return 1;
    std::cout << "corpus: " << messages << " messages, " << corpusBytes << " bytes\n"
              << "large.eml: " << large.size() << " bytes\n"
              << "tiny_parts.eml: " << tiny.size() << " bytes\n"
              << "base64.txt, qp.txt: about " << codecMiB << " MiB each\n";
    return 0;
}

} // namespace
} // namespace pelmora::bench

int main(int argc, char** argv) {
    return pelmora::bench::Run(argc, argv);
}
