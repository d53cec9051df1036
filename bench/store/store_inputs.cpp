#include "store_inputs.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace pelmora::bench {

namespace {

const char* kWords[] = {"project", "meeting", "invoice", "report",   "schedule", "review",
                        "budget",  "draft",   "update",  "question", "delivery", "contract",
                        "Re:",     "Fwd:",    "urgent",  "weekly",   "status",   "plan"};

// Set 2 writes in several languages: two- and three-byte characters, so that cutting a long
// text at 255 bytes has to find a character boundary.
const char* kLongWords[] = {"Angebotsprüfung",
                            "réunion",
                            "Übersicht",
                            "quarterly",
                            "Zusammenfassung",
                            "naïve",
                            "coöperation",
                            "заседание",
                            "会議",
                            "proposal",
                            "follow-up",
                            "AW:",
                            "WG:",
                            "Протокол",
                            "évaluation",
                            "deliverables",
                            "Lieferbedingungen",
                            "计划",
                            "Größenänderung",
                            "façade"};

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

unsigned Pick(std::mt19937& random, unsigned range) {
    return static_cast<unsigned>(random() % range);
}

std::string Words(std::mt19937& random, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += kWords[random() % std::size(kWords)];
    }
    return out;
}

std::string LongWords(std::mt19937& random, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += kLongWords[random() % std::size(kLongWords)];
    }
    return out;
}

std::string DateCell(std::mt19937& random, unsigned firstYear, unsigned years) {
    char cell[32];
    std::snprintf(cell, sizeof cell, "%02u-%02u-%u %02u:%02u", 1 + Pick(random, 28),
                  1 + Pick(random, 12), firstYear + Pick(random, years), Pick(random, 24),
                  Pick(random, 60));
    return cell;
}

void AppendSet1Rows(TMessageList& list, int rows) {
    std::mt19937 random(7);
    for (int i = 0; i < rows; ++i) {
        const int state = std::array<int, 6>{-1, -1, -1, 2, 1, 4}[random() % 6];
        const std::string name = (state == 2 ? "_" : "") + std::to_string(1000000 + i) +
                                 (state == 1   ? ".emlf"
                                  : state == 4 ? ".emlo"
                                               : ".eml");
        AppendMessageRow(list, 1000 + random() % 200000, state, false,
                         "<" + std::to_string(random()) + ".JavaMail@mail.example.org>",
                         "/home/user/.local/share/pelmora/Projects/1000/inbox/" + name,
                         Words(random, 3 + random() % 6), "",
                         "Person " + std::to_string(random() % 500) + " (person" +
                             std::to_string(random() % 500) + "@example.com)",
                         DateCell(random, 2015, 10), random() % 5 == 0 ? 3 : -1);
    }
}

// Rows of a sent folder: the address column lists many recipients, subjects run past what a
// record holds, dates fall on the hour or half hour (many equal ones) over 29 years.
void AppendSet2Rows(TMessageList& list, int rows) {
    std::mt19937 random(29);
    for (int i = 0; i < rows; ++i) {
        const int state = std::array<int, 6>{-1, -1, -1, -1, 1, 2}[random() % 6];
        const std::string name =
            (state == 2 ? "_" : "") + std::to_string(3000000 + i) + (state == 1 ? ".emlf" : ".eml");
        std::string recipients;
        const int count = 5 + static_cast<int>(Pick(random, 36));
        for (int r = 0; r < count; ++r) {
            const unsigned who = Pick(random, 5000);
            recipients += (r ? ", " : "") + std::string("Kollegin ") + std::to_string(who) +
                          " (kollegin." + std::to_string(who) + "@abteilung.example.co.uk)";
        }
        // One draw per statement: the order of draws inside one expression is unspecified.
        const unsigned day = 1 + Pick(random, 28);
        const unsigned month = 1 + Pick(random, 12);
        const unsigned year = 1998 + Pick(random, 29);
        const unsigned hour = Pick(random, 24);
        const char* minute = Pick(random, 2) ? "30" : "00";
        char date[32];
        std::snprintf(date, sizeof date, "%02u-%02u-%u %02u:%s", day, month, year, hour, minute);
        char id[96];
        const unsigned idParts[3] = {Pick(random, ~0u), Pick(random, ~0u), Pick(random, ~0u)};
        std::snprintf(id, sizeof id, "<%08x%08x%08x@mail.a-rather-long-domain.example.com>",
                      idParts[0], idParts[1], idParts[2]);
        const std::int64_t size = 5000 + random() % 30000000;
        const std::string subject = LongWords(random, 30 + static_cast<int>(Pick(random, 40)));
        const int image = Pick(random, 10) < 7 ? 3 : -1;
        AppendMessageRow(list, size, state, true, id,
                         "/home/a.long.user.name/.local/share/pelmora/Projects/1003/sent/" + name,
                         subject, recipients, "Me Myself (me@example.org)", date, image);
    }
}

std::string Set1Message(std::mt19937& random, int i) {
    const std::string from = "Person " + std::to_string(i % 300) + " <person" +
                             std::to_string(i % 300) + "@example.com>";
    std::string head = "Return-Path: <person@example.com>\r\n"
                       "Received: from mail.example.com (mail.example.com [192.0.2.7])\r\n"
                       "\tby mx.example.org with ESMTPS id " +
                       std::to_string(random()) +
                       "\r\n"
                       "\tfor <me@example.org>; Tue, 05 Mar 2024 14:07:09 +0100\r\n"
                       "From: " +
                       from +
                       "\r\nTo: Me <me@example.org>, team@example.org\r\n"
                       "Subject: " +
                       Words(random, 4) + " #" + std::to_string(i) +
                       "\r\n"
                       "Date: Tue, " +
                       std::to_string(1 + i % 28) + " Mar 2024 1" + std::to_string(i % 10) +
                       ":07:09 +0100\r\nMessage-ID: <" + std::to_string(i) + "." +
                       std::to_string(random()) +
                       "@example.com>\r\n"
                       "MIME-Version: 1.0\r\n";
    std::string body;
    const int lines = 20 + static_cast<int>(random() % 120);
    for (int l = 0; l < lines; ++l)
        body += Words(random, 9) + "\r\n";
    const int kind = static_cast<int>(random() % 20);
    if (kind < 12) // plain text
        return head +
               "Content-Type: text/plain; charset=utf-8\r\n"
               "Content-Transfer-Encoding: 8bit\r\n\r\n" +
               body;
    if (kind < 17) { // text and HTML alternatives
        std::string html = "<html><body><p>" + body + "</p></body></html>\r\n";
        return head +
               "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
               "--alt\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
               body +
               "--alt\r\nContent-Type: text/html; charset=utf-8\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
               html + "--alt--\r\n";
    }
    // With an attachment of 20 to 120 KB.
    std::string attachment;
    const int rows = 260 + static_cast<int>(random() % 1300);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 76; ++c)
            attachment += kBase64[random() % 64];
        attachment += "\r\n";
    }
    return head +
           "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n"
           "--mix\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
           body + "--mix\r\nContent-Type: application/pdf; name=\"doc" + std::to_string(i) +
           ".pdf\"\r\nContent-Disposition: attachment; filename=\"doc" + std::to_string(i) +
           ".pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + attachment + "--mix--\r\n";
}

// Base64 of `raw` random bytes in lines of 72 characters (the padding as an encoder writes it).
std::string Base64Lines(std::mt19937& random, std::size_t raw) {
    std::string out;
    const std::size_t chars = (raw + 2) / 3 * 4;
    const std::size_t pad = (3 - raw % 3) % 3;
    out.reserve(chars + chars / 72 * 2 + 2);
    for (std::size_t c = 0; c < chars; ++c) {
        out += c + pad >= chars ? '=' : kBase64[random() % 64];
        if ((c + 1) % 72 == 0 || c + 1 == chars)
            out += "\r\n";
    }
    return out;
}

// The same text as a header's encoded words, folded: base64 ("B") words of at most 45 bytes.
std::string EncodedWords(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); at += 45) {
        const std::string_view piece = text.substr(at, 45);
        if (at)
            out += "\r\n ";
        out += "=?utf-8?B?";
        for (std::size_t i = 0; i < piece.size(); i += 3) {
            const auto byte = [&](std::size_t k) {
                return k < piece.size() ? static_cast<unsigned char>(piece[k]) : 0u;
            };
            const unsigned triple = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
            out += kBase64[triple >> 18 & 63];
            out += kBase64[triple >> 12 & 63];
            out += i + 1 < piece.size() ? kBase64[triple >> 6 & 63] : '=';
            out += i + 2 < piece.size() ? kBase64[triple & 63] : '=';
        }
        out += "?=";
    }
    return out;
}

std::string AddressList(std::mt19937& random, int count) {
    std::string out;
    for (int r = 0; r < count; ++r) {
        const unsigned who = Pick(random, 20000);
        if (r)
            out += ",\r\n\t";
        out += (r % 3 == 0 ? "=?iso-8859-1?Q?J=FCrgen_M=FCller_" : "\"Kollegin ") +
               std::to_string(who) + (r % 3 == 0 ? "?=" : "\"") + " <k" + std::to_string(who) +
               "@abteilung.example.co.uk>";
    }
    return out;
}

// A large message of set 2: encoded subject, dozens to hundreds of recipients, a long thread
// of references, text and HTML alternatives, then 3 to 16 base64 attachments of 1-30 KB; every
// tenth one also carries an attached message.
std::string Set2Message(std::mt19937& random, int n) {
    const std::string mix = "=_mix_" + std::to_string(random());
    const std::string alt = mix + "_alt";
    // One draw per statement, in a fixed order.
    const unsigned weekday = Pick(random, 7);
    const unsigned day = 1 + Pick(random, 28);
    const unsigned month = Pick(random, 12);
    const unsigned year = 2005 + Pick(random, 20);
    const unsigned hour = Pick(random, 24);
    const unsigned minute = Pick(random, 60);
    const unsigned second = Pick(random, 60);
    const unsigned zone = Pick(random, 5);
    char date[64];
    std::snprintf(date, sizeof date, "%s, %u %s %u %02u:%02u:%02u %s",
                  std::array{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}[weekday], day,
                  std::array{"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct",
                             "Nov", "Dec"}[month],
                  year, hour, minute, second,
                  std::array{"-0700", "+0000", "+0530", "+0100", "-0300"}[zone]);
    std::string head;
    for (int hop = 0; hop < 4; ++hop)
        head += "Received: from relay" + std::to_string(hop) +
                ".example.net (relay.example.net [198.51.100." + std::to_string(hop + 1) +
                "])\r\n\tby mx" + std::to_string(hop) + ".example.org with ESMTPS id " +
                std::to_string(random()) + ";\r\n\t" + date + "\r\n";
    const std::string to = AddressList(random, 20 + static_cast<int>(Pick(random, 180)));
    const std::string cc = AddressList(random, static_cast<int>(Pick(random, 30)));
    const std::string subject =
        EncodedWords(LongWords(random, 6 + static_cast<int>(Pick(random, 20))));
    const std::string unique = std::to_string(random());
    head += "From: " + EncodedWords("Jürgen Müller-Lüdenscheidt") +
            " <juergen@example.de>\r\nTo: " + to + "\r\nCc: " + cc + "\r\nSubject: " + subject +
            "\r\nDate: " + date + "\r\nMessage-ID: <set2." + std::to_string(n) + "." + unique +
            "@lists.example.net>\r\nReferences:";
    const int references = 5 + static_cast<int>(Pick(random, 26));
    for (int r = 0; r < references; ++r)
        head += " <thread" + std::to_string(random()) + "@lists.example.net>\r\n";
    head += "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" + mix + "\"\r\n\r\n";

    std::string text;
    const int lines = 5 + static_cast<int>(Pick(random, 56));
    for (int l = 0; l < lines; ++l)
        text += LongWords(random, 8) + "\r\n";
    std::string body = "This is a multi-part message in MIME format.\r\n--" + mix +
                       "\r\nContent-Type: multipart/alternative; boundary=\"" + alt +
                       "\"\r\n\r\n--" + alt +
                       "\r\nContent-Type: text/plain; charset=utf-8\r\n"
                       "Content-Transfer-Encoding: 8bit\r\n\r\n" +
                       text + "--" + alt +
                       "\r\nContent-Type: text/html; charset=utf-8\r\n"
                       "Content-Transfer-Encoding: 8bit\r\n\r\n<html><body><p>" +
                       text + "</p></body></html>\r\n--" + alt + "--\r\n";
    const int attachments = 3 + static_cast<int>(Pick(random, 14));
    for (int a = 0; a < attachments; ++a) {
        const std::string name = "%C3%9Cbersicht-" + std::to_string(a) + ".pdf";
        const std::string data = Base64Lines(random, 1024 + Pick(random, 29 * 1024));
        body += "--" + mix +
                "\r\nContent-Type: application/pdf\r\n"
                "Content-Disposition: attachment;\r\n filename*=utf-8''" +
                name + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + data;
    }
    if (n % 10 == 0)
        body += "--" + mix +
                "\r\nContent-Type: message/rfc822\r\n\r\n"
                "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: forwarded\r\n"
                "Message-ID: <inner." +
                std::to_string(n) + "@example.org>\r\n\r\n" + text;
    return head + body + "--" + mix + "--\r\n";
}

} // namespace

void AppendIndexRows(TMessageList& list, int rows, int set) {
    if (set == 1)
        AppendSet1Rows(list, rows);
    else
        AppendSet2Rows(list, rows);
}

TMailGenerator::TMailGenerator(int set) : Set(set), Random(set == 1 ? 11 : 101) {}

std::string TMailGenerator::Next(int n, bool& unread) {
    if (Set == 1) {
        unread = Random() % 4 == 0;
        return Set1Message(Random, n);
    }
    unread = Random() % 3 == 0;
    return Set2Message(Random, n);
}

std::string OperationMessageText(std::mt19937& random, int set) {
    if (set == 1)
        return "From: A <a@example.org>\r\nTo: b@example.org\r\nSubject: " + Words(random, 4) +
               "\r\nDate: Tue, 05 Mar 2024 14:07:09 +0100\r\n\r\n" + Words(random, 30) + "\r\n";
    const std::string to = AddressList(random, 12);
    const std::string subject = EncodedWords(LongWords(random, 40));
    return "From: Ann <a@example.org>\r\nTo: " + to + "\r\nSubject: " + subject +
           "\r\nDate: Wed, 12 Jun 2019 08:15:00 -0700\r\n\r\n" + LongWords(random, 300) + "\r\n";
}

} // namespace pelmora::bench
