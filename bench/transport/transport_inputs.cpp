#include "transport_inputs.h"

#include <algorithm>
#include <random>

namespace pelmora::bench {

namespace {

// --- Set 1 --------------------------------------------------------------------------------

// A message of roughly the given size, in lines of 76 characters.
std::string MakeMessage(int n, std::size_t size) {
    std::string text = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: message " +
                       std::to_string(n) + "\r\nMessage-ID: <" + std::to_string(n) +
                       ".bench@example.org>\r\n\r\n";
    std::string line(76, 'a' + static_cast<char>(n % 26));
    int lineNumber = 0;
    while (text.size() < size) {
        // Now and then a line that needs dot-stuffing.
        text += (++lineNumber % 50 == 0 ? "." : "") + line + "\r\n";
    }
    return text;
}

std::size_t MixedSize(int n) {
    // 70 % small, 25 % medium, 5 % large; fixed so runs compare.
    int bucket = (n * 37) % 100;
    if (bucket < 70) {
        return 1500 + static_cast<std::size_t>((n * 131) % 3000);
    }
    if (bucket < 95) {
        return 15000 + static_cast<std::size_t>((n * 977) % 30000);
    }
    return 150000 + static_cast<std::size_t>((n * 7919) % 200000);
}

// --- Set 2 --------------------------------------------------------------------------------

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kTextChars[] = "abcdefghijklmnopqrstuvwxyz     ,.;:-ABCDEFGHIJ0123456789";

unsigned Pick(std::mt19937& random, unsigned range) {
    return static_cast<unsigned>(random() % range);
}

// Base64 of `raw` random bytes in lines of 72 characters.
std::string Base64Lines(std::mt19937& random, std::size_t raw) {
    const std::size_t chars = (raw + 2) / 3 * 4;
    const std::size_t pad = (3 - raw % 3) % 3;
    std::string out;
    out.reserve(chars + chars / 36 + 2);
    for (std::size_t c = 0; c < chars; ++c) {
        out += c + pad >= chars ? '=' : kBase64[random() % 64];
        if ((c + 1) % 72 == 0 || c + 1 == chars)
            out += "\r\n";
    }
    return out;
}

// Text lines of 0 to 998 characters (most under 100); about one in 15 begins with "." and
// one in 40 is a lone "." (both need dot-stuffing on the wire).
std::string TextLines(std::mt19937& random, int lines) {
    std::string out;
    for (int l = 0; l < lines; ++l) {
        const unsigned kind = Pick(random, 120);
        if (kind < 3) {
            out += ".\r\n";
            continue;
        }
        if (kind < 8)
            out += '.';
        const unsigned length = kind < 10 ? 900 + Pick(random, 98) : Pick(random, 100);
        for (unsigned c = 0; c < length; ++c)
            out += kTextChars[random() % (sizeof kTextChars - 1)];
        out += "\r\n";
    }
    return out;
}

std::string Head(std::mt19937& random, int n, const std::string& contentType) {
    std::string to;
    const int recipients = 1 + static_cast<int>(Pick(random, 30));
    for (int r = 0; r < recipients; ++r)
        to += (r ? ",\r\n " : "") + std::string("<user") + std::to_string(Pick(random, 9000)) +
              "@lists.example.net>";
    const std::string unique = std::to_string(random());
    return "From: Bea <bea@example.net>\r\nTo: " + to + "\r\nSubject: set 2 message " +
           std::to_string(n) + "\r\nDate: Wed, 12 Jun 2019 08:15:00 -0700\r\nMessage-ID: <" +
           std::to_string(n) + "." + unique + "@example.net>\r\nMIME-Version: 1.0\r\n" +
           "Content-Type: " + contentType + "\r\n\r\n";
}

// A text part and `attachments` base64 attachments of 1 KB up to `largest` bytes each.
std::string AttachmentMessage(std::mt19937& random, int n, int attachments, unsigned largest) {
    const std::string boundary = "=_b2_" + std::to_string(random());
    std::string text = Head(random, n, "multipart/mixed; boundary=\"" + boundary + "\"");
    const int lines = 10 + static_cast<int>(Pick(random, 200));
    text += "--" + boundary + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" +
            TextLines(random, lines);
    for (int a = 0; a < attachments; ++a) {
        const std::string data = Base64Lines(random, 1024 + Pick(random, largest - 1024));
        text += "--" + boundary + "\r\nContent-Type: application/octet-stream; name=\"part" +
                std::to_string(a) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + data;
    }
    return text + "--" + boundary + "--\r\n";
}

// One message of `parts` small text parts.
std::string ManyPartsMessage(std::mt19937& random, int n, int parts) {
    const std::string boundary = "=_p2_" + std::to_string(random());
    std::string text = Head(random, n, "multipart/mixed; boundary=\"" + boundary + "\"");
    for (int p = 0; p < parts; ++p)
        text += "--" + boundary + "\r\nContent-Type: text/plain\r\n\r\n" +
                TextLines(random, 1 + static_cast<int>(Pick(random, 6)));
    return text + "--" + boundary + "--\r\n";
}

} // namespace

std::vector<TPop3Mailbox> Pop3Mailboxes(int set) {
    std::vector<TPop3Mailbox> boxes(2);
    if (set == 1) {
        boxes[0] = {"mixed", "1,000 mixed messages", {}};
        for (int n = 1; n <= 1000; ++n)
            boxes[0].Messages.push_back(MakeMessage(n, MixedSize(n)));
        boxes[1] = {"big", "one 50 MB message", {MakeMessage(0, 50u * 1024 * 1024)}};
        return boxes;
    }
    std::mt19937 random(47);
    boxes[0] = {"attach", "400 messages with base64 attachments", {}};
    for (int n = 1; n <= 400; ++n) {
        const int attachments = 1 + static_cast<int>(Pick(random, 8));
        boxes[0].Messages.push_back(AttachmentMessage(random, n, attachments, 60 * 1024));
    }
    boxes[1] = {"large", "a 30 MB message of 300 attachments, one of 20,000 parts", {}};
    boxes[1].Messages.push_back(AttachmentMessage(random, 0, 300, 150 * 1024));
    boxes[1].Messages.push_back(ManyPartsMessage(random, 401, 20000));
    return boxes;
}

std::vector<std::string> SmtpMessages(int set) {
    std::vector<std::string> texts;
    if (set == 1) {
        for (int n = 1; n <= 500; ++n)
            texts.push_back(MakeMessage(n, std::min<std::size_t>(MixedSize(n), 60000)));
        return texts;
    }
    std::mt19937 random(53);
    for (int n = 1; n <= 200; ++n) {
        const int attachments = 1 + static_cast<int>(Pick(random, 6));
        texts.push_back(AttachmentMessage(random, n, attachments, 40 * 1024));
    }
    return texts;
}

bool SmtpWithAuth(int set) {
    return set != 1;
}

} // namespace pelmora::bench
