#pragma once
// The question about mail still waiting in an outbox when the main window closes.

namespace pelmora {

class TWorkspace;

enum class TUnsentMail {
    NoneWaiting, // no outbox of any account's project holds a message
    NotAsked,    // mail waits, but the user asked not to be asked again
    Send,        // the user wants it sent now (a "Send Mail for All Accounts" run)
    Keep,        // the user leaves it for later
};

// Looks through the outboxes of every account's projects in tree order; at the first one that
// holds a message, asks text 1/259 (attention sound, caption text 1/262, size 12, with the
// "Don't ask this again" box, whose state is written to "HideStillMailWaiting") unless that
// setting is on. The caller starts the sending run on Send.
TUnsentMail AskSendWaitingMail(TWorkspace& work);

} // namespace pelmora
