#include "transfer_mail.h"

#include <iterator>
#include <random>
#include <string_view>

namespace pelmora::bench {

namespace {

constexpr std::string_view kWords[] = {
    "project", "meeting",  "invoice",  "report",   "schedule", "review", "budget", "draft",
    "update",  "question", "delivery", "contract", "the",      "and",    "for",    "with",
    "next",    "week",     "please",   "attached", "numbers",  "agreed", "soon",   "thanks"};

// Lines of words, about `bytes` long in total.
std::string TextLines(std::mt19937& random, std::size_t bytes) {
    std::string text;
    text.reserve(bytes + 80);
    std::string line;
    while (text.size() < bytes) {
        line.clear();
        while (line.size() < 66) {
            if (!line.empty())
                line += ' ';
            line += kWords[random() % std::size(kWords)];
        }
        text += line;
        text += "\r\n";
    }
    return text;
}

// Characters of a base64 line in each set (plus CR LF).
std::size_t LineWidth(int set) { return set == 1 ? 76 : 72; }

// Random base64 in lines, shared by every attachment of a set: an attachment is a slice of
// it, so building the mailbox stays cheap.
const std::string& Base64Pool(int set) {
    static std::string pools[kSets + 1];
    std::string& text = pools[set];
    if (text.empty()) {
        static constexpr char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::mt19937 random(set == 1 ? 2024 : 4051);
        const std::size_t width = LineWidth(set);
        const std::size_t lines = 4'600'000 / (width + 2);
        text.reserve(lines * (width + 2));
        for (std::size_t l = 0; l < lines; ++l) {
            for (std::size_t c = 0; c < width; ++c)
                text += kAlphabet[random() & 63];
            text += "\r\n";
        }
    }
    return text;
}

// About `bytes` of base64 lines, picked by `n`.
std::string_view Base64Slice(int n, std::size_t bytes, int set) {
    const std::string& pool = Base64Pool(set);
    const std::size_t line = LineWidth(set) + 2;
    const std::size_t lines = (bytes + line - 1) / line;
    const std::size_t poolLines = pool.size() / line;
    const std::size_t first = (static_cast<std::size_t>(n) * 7919) % (poolLines - lines + 1);
    return std::string_view(pool).substr(first * line, lines * line);
}

std::string DateText(int n) {
    static constexpr const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    const int day = 1 + n % 28;
    return std::string(kDays[n % 7]) + ", " + std::to_string(day) + " Mar 2024 " +
           std::to_string(10 + n % 12) + ":" + std::to_string(10 + n % 50) + ":07 +0100";
}

std::string WithAttachment(std::string head, const std::string& body, int n, std::size_t bytes,
                           const char* type, const char* name, int set = 1) {
    const std::string boundary = "=_part_" + std::to_string(n);
    std::string text = std::move(head);
    text += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    text += "This is a multi-part message in MIME format.\r\n\r\n";
    text += "--" + boundary +
            "\r\nContent-Type: text/plain; charset=utf-8\r\n"
            "Content-Transfer-Encoding: 8bit\r\n\r\n" +
            body + "\r\n";
    text += "--" + boundary + "\r\nContent-Type: " + type + "; name=\"" + name +
            "\"\r\nContent-Disposition: attachment; filename=\"" + name +
            "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    text += Base64Slice(n, bytes, set);
    text += "--" + boundary + "--\r\n";
    return text;
}

// A message of `count` base64 attachments of about `bytes` each (set 2's very large one).
std::string ManyAttachments(std::string head, std::mt19937& random, int n, int count,
                            std::size_t bytes) {
    const std::string boundary = "=_many_" + std::to_string(n);
    std::string text = std::move(head);
    text += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    text += "--" + boundary + "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
            TextLines(random, 3000) + "\r\n";
    for (int a = 0; a < count; ++a) {
        const std::string name = "scan" + std::to_string(a) + ".jpg";
        text += "--" + boundary + "\r\nContent-Type: image/jpeg; name=\"" + name +
                "\"\r\nContent-Disposition: attachment; filename=\"" + name +
                "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        text += Base64Slice(n * 131 + a, bytes + (random() % 1000) * 97, 2);
    }
    text += "--" + boundary + "--\r\n";
    return text;
}

// A message of `count` small text parts (set 2's many-parts one).
std::string ManySmallParts(std::string head, std::mt19937& random, int n, int count) {
    const std::string boundary = "=_small_" + std::to_string(n);
    std::string text = std::move(head);
    text += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    for (int a = 0; a < count; ++a) {
        text += "--" + boundary + "\r\nContent-Type: text/plain; charset=utf-8\r\n";
        if (a % 3 == 2)
            text += "Content-Disposition: attachment; filename=\"note" + std::to_string(a) +
                    ".txt\"\r\n";
        text += "\r\n" + TextLines(random, 20 + random() % 150);
    }
    text += "--" + boundary + "--\r\n";
    return text;
}

} // namespace

int MailboxSize(int set) { return set == 1 ? 1000 : 400; }
int OutboxSize(int set) { return set == 1 ? 500 : 500; }

std::string IncomingMessage(int n, int set) {
    std::mt19937 random(static_cast<unsigned>(n) * 31 + (set == 1 ? 7 : 1009));
    const std::string person = "person" + std::to_string(n % 300);
    std::string head = "Return-Path: <" + person +
                       "@example.com>\r\n"
                       "Received: from mail.example.com (mail.example.com [192.0.2.7])\r\n"
                       "\tby mx.example.org with ESMTPS id " +
                       std::to_string(random()) +
                       "\r\n"
                       "\tfor <me@example.org>; " +
                       DateText(n) +
                       "\r\n"
                       "From: Person " +
                       std::to_string(n % 300) + " <" + person +
                       "@example.com>\r\n"
                       "To: Me Myself <me@example.org>\r\n"
                       "Subject: " +
                       std::string(kWords[n % std::size(kWords)]) + " " +
                       std::string(kWords[(n / 3) % std::size(kWords)]) + " #" + std::to_string(n) +
                       "\r\n"
                       "Date: " +
                       DateText(n) +
                       "\r\n"
                       "Message-ID: <" +
                       std::to_string(n) + "." + std::to_string(random()) +
                       "@mail.example.com>\r\n"
                       "MIME-Version: 1.0\r\n";
    if (set != 1) {
        if (n == 0) // 80 attachments of about 500 KB: some 40 MB
            return ManyAttachments(std::move(head), random, n, 80, 450'000);
        if (n == 1)
            return ManySmallParts(std::move(head), random, n, 4000);
        if (n % 3 == 0) {
            const std::size_t bytes = 100'000 + random() % 400'000;
            return WithAttachment(std::move(head), TextLines(random, 3000), n, bytes, "image/png",
                                  ("picture" + std::to_string(n) + ".png").c_str(), set);
        }
        return head + "Content-Type: text/plain; charset=utf-8\r\n\r\n" +
               TextLines(random, 2000 + random() % 30000);
    }
    if (n % 20 == 7) {
        // A few large ones: 2.2 to 4 MB of attachment.
        const std::size_t bytes = 2'200'000 + (static_cast<std::size_t>(n) * 7919) % 1'800'000;
        return WithAttachment(std::move(head), TextLines(random, 1200), n, bytes, "application/zip",
                              ("archive" + std::to_string(n) + ".zip").c_str());
    }
    if (n % 4 == 1) {
        // Some medium ones: 40 to 300 KB of attachment.
        const std::size_t bytes = 40'000 + (static_cast<std::size_t>(n) * 977) % 260'000;
        return WithAttachment(std::move(head), TextLines(random, 2000), n, bytes, "application/pdf",
                              ("document" + std::to_string(n) + ".pdf").c_str());
    }
    // Mostly short texts of 1 to 8 KB.
    return head +
           "Content-Type: text/plain; charset=utf-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n\r\n" +
           TextLines(random, 1000 + random() % 7000);
}

std::string OutgoingMessage(int n, int set) {
    std::mt19937 random(static_cast<unsigned>(n) * 17 + (set == 1 ? 3 : 5501));
    std::string head = "From: Me Myself <me@example.org>\r\n"
                       "To: Bob Builder <bob@example.net>\r\n"
                       "Subject: " +
                       std::string(kWords[n % std::size(kWords)]) + " for you #" +
                       std::to_string(n) +
                       "\r\n"
                       "Date: " +
                       DateText(n) +
                       "\r\n"
                       "Message-ID: <" +
                       std::to_string(n) +
                       ".queued@PXID1001>\r\n"
                       "X-Mailer: Pelmora v.3.0.5\r\n"
                       "MIME-Version: 1.0\r\n";
    const std::string body = TextLines(random, 800 + random() % 5000);
    if (set != 1) {
        if (n == 0) // 40 attachments of about 500 KB: some 20 MB
            return ManyAttachments(std::move(head), random, n, 40, 450'000);
        if (n == 1)
            return ManySmallParts(std::move(head), random, n, 2000);
        if (n % 3 == 1) {
            const std::size_t bytes = 30'000 + random() % 250'000;
            return WithAttachment(std::move(head), body, n, bytes, "image/png",
                                  ("photo" + std::to_string(n) + ".png").c_str(), set);
        }
    }
    if (n % 5 == 2) {
        // Every fifth with an attachment of 20 to 120 KB.
        const std::size_t bytes = 20'000 + (static_cast<std::size_t>(n) * 977) % 100'000;
        return WithAttachment(std::move(head), body, n, bytes, "application/pdf",
                              ("offer" + std::to_string(n) + ".pdf").c_str());
    }
    return head +
           "Content-Type: text/plain; charset=\"utf-8\"\r\n"
           "Content-Transfer-Encoding: 8bit\r\n\r\n" +
           body;
}

} // namespace pelmora::bench
