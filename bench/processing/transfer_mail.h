#pragma once
// The mail of the transfer benchmark, the same on every run: a mailbox of incoming messages
// of mixed sizes (mostly short texts, some with attachments of a few hundred kilobytes, a few
// with attachments of some megabytes, all base64) and the outgoing messages a project queues.

#include <cstddef>
#include <string>

namespace pelmora::bench {

// Incoming message `n` (0-based) of the retrieved mailbox, CR LF lines, addressed to
// "Me Myself <me@example.org>" without references (so it is filed as an orphan into the
// account's default project).
std::string IncomingMessage(int n);

// Outgoing message `n` (0-based) as a composition writes it into an outbox: from
// me@example.org to one recipient, a Message-ID of project 1001, text and now and then an
// attachment.
std::string OutgoingMessage(int n);

// The recipient of every outgoing message.
inline constexpr const char* kOutgoingRecipient = "bob@example.net";
inline constexpr const char* kOurAddress = "me@example.org";

} // namespace pelmora::bench
