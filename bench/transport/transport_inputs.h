#pragma once
// The mail of the transport benchmark, the same on every run, in two sets of another seed
// and shape each:
//   set 1  POP3: 1,000 messages of mixed sizes (70 % about 3 KB, 25 % 15-45 KB, 5 % 150-350 KB)
//          of repeated 76-character lines, every 50th dot-stuffed; and one 50 MB message.
//          SMTP: 500 of those messages, cut to 60 KB at most, without AUTH.
//   set 2  POP3: 400 messages of random bytes in base64 attachments (lines of 72 characters)
//          and texts with lines up to 998 characters, many beginning with "." or being a
//          lone "."; a 30 MB message of 300 attachments and one of 20,000 small parts.
//          SMTP: 200 messages with attachments, signing in with AUTH first.

#include <string>
#include <vector>

namespace pelmora::bench {

constexpr int kTransportSets = 2;

// One POP3 mailbox: the user who owns it, what the report calls it, its messages (CR LF
// lines, each ending with CR LF).
struct TPop3Mailbox {
    std::string User;
    std::string Title;
    std::vector<std::string> Messages;
};

// The two mailboxes of a set: many messages, then a few large ones.
std::vector<TPop3Mailbox> Pop3Mailboxes(int set);

// The texts the SMTP measures hand to the message parser before sending.
std::vector<std::string> SmtpMessages(int set);
bool SmtpWithAuth(int set);

} // namespace pelmora::bench
