#pragma once
// Incoming routing: deciding, for a message retrieved for an account, the project, folder and
// file it is stored in. The order: receipts (which skip the next two rules), subscription
// requests, the account's filter rules, then the references (a tracking number in the
// subject, the "PXID" project reference in "References" and "In-Reply-To"), and finally the
// account's default project, created when the account has none, for orphans. Also the
// subscription queue ("subscribers.que") that requests are appended to and that is worked off
// when the user opens the project.

#include "processing/index_row.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

struct AccountSettings;
class TMailMessage;
class TWorkspace;

constexpr std::string_view kProjectDomainPrefix = "PXID";
constexpr std::string_view kSubscriberQueueName = "subscribers.que";

struct TRoutingResult {
    int Project = -1;    // -1: no project could be found or created (nothing to store)
    int Folder = 111;    // the folder code the file lies in
    std::string Path;    // the new message file; empty with Project -1
    bool Orphan = false; // filed into the default project for want of a reference
    bool Receipt = false;
    bool Subscription = false;
    bool ByFilter = false;
    bool ProjectCreated = false; // the account's default project was created
};

// "PXID" + project number: the domain of every Message-ID the program sends for a project.
std::string ProjectDomain(int project);

// True when the number is one of the account's projects.
bool AccountHasProject(const AccountSettings& account, int project);
// The account's default project: the first project number above 99999; -1 when none.
int AccountDefaultProject(const AccountSettings& account);

// The project a subject requests a (un)subscription for, when it is one of the account's
// projects: "SUBSCRIBE PR 1001", "unsubscribe P1001", "Subscribe 1001".
std::optional<int> SubscriptionProject(std::string_view subject, const AccountSettings& account);

// The project number a reference names: the digits after the first "PXID" (any case) of the
// header value without its enclosing brackets.
std::optional<int> ReferencedProject(std::string_view headerValue);
// The project number of a tracking number in a subject ("... -> Tracking number: 1001$...").
std::optional<int> TrackedProject(std::string_view subject);

// The queue line of a request: "+ " or "- " + name + " (" + address + ")", or the address
// alone when the trimmed name is empty. Line breaks and other control characters in name and
// address become blanks, so one request is always one line.
std::string SubscriberQueueLine(bool unsubscribe, std::string_view name, std::string_view address);

// Decides where a retrieved message goes. May append to a project's subscription queue and
// may create the account's default project (node in the account tree, project list of
// `account`, directories, project info; the account tree is marked changed). The message's
// part map must be current.
TRoutingResult RouteMessage(TWorkspace& workspace, const TMailMessage& message,
                            AccountSettings& account);

struct TStoredMessage {
    bool Saved = false;
    bool IndexRowAdded = false;
    std::string Error;
};

// A retrieved message as it goes to disk: the header lines the program adds (Received,
// arrival time; each ending in CR LF) and the text exactly as the server sent it.
struct TReceivedText {
    std::string_view AddedHeaders;
    std::string_view ServerText;
};

// Writes the routed message to its file (complete and flushed) and only then adds its
// index row through appendRow: state 4 for orphans, else 2; the listed POP3 size. The file
// holds `text`; the row's columns come from `message`, the parsed reading of that text.
TStoredMessage StoreRoutedMessage(const TMailMessage& message, const TReceivedText& text,
                                  const TRoutingResult& route, std::int64_t listedSize,
                                  const TAppendIndexRow& appendRow);

// Works off the subscription queue of a project after one of its folders was listed; the
// project must be the one the project tree shows. Asks the user (remembering "Don't ask this
// again" in "AllowSubscribe"/"AllowUserSubscribe"), adds or removes project address-book
// entries, saves the project tree, and deletes the queue.
void ProcessSubscriptionQueue(TWorkspace& workspace, int project);

} // namespace pelmora
