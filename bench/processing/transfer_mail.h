#pragma once
// The mail of the transfer benchmark, the same on every run: a mailbox of incoming messages
// of mixed sizes (mostly short texts, some with attachments of a few hundred kilobytes, a few
// with attachments of some megabytes, all base64) and the outgoing messages a project queues.

#include <cstddef>
#include <string>

namespace pelmora::bench {

// Two input sets. Set 1: 1,000 incoming messages (about 200 MB) and 500 outgoing ones
// (about 15 MB), as described below. Set 2 has other seeds and another shape: its first
// message is very large with many base64 attachments (lines of 72 characters), its second
// has thousands of small parts, and the rest lean to medium sizes.
constexpr int kSets = 2;
int MailboxSize(int set);
int OutboxSize(int set);

// Incoming message `n` (0-based) of the retrieved mailbox, CR LF lines, addressed to
// "Me Myself <me@example.org>" without references (so it is filed as an orphan into the
// account's default project).
std::string IncomingMessage(int n, int set = 1);

// Outgoing message `n` (0-based) as a composition writes it into an outbox: from
// me@example.org to one recipient, a Message-ID of project 1001, text and now and then an
// attachment.
std::string OutgoingMessage(int n, int set = 1);

// The recipient of every outgoing message.
inline constexpr const char* kOutgoingRecipient = "bob@example.net";
inline constexpr const char* kOurAddress = "me@example.org";

} // namespace pelmora::bench
