#pragma once
// The transfer progress window without its widgets: the account and action lines, the two
// gauges, the incoming and outgoing counters, the button caption and the two check boxes.
// The transfer run changes this state; the Qt window observes it through
// TTransferProgressObserver and copies the values into its widgets. Values are only ever
// set by the run, so a window that comes and goes loses nothing.

#include <cstdint>
#include <string>

namespace pelmora {

class TMessageTexts;
class TTransferProgressState;

// What the window shows of the messages moved for the current account.
struct TTransferCounters {
    int Waiting = 0;       // messages still to fetch
    int Downloaded = 0;    // messages fetched for the account
    int Blocked = 0;       // messages dropped because of the blacklist (whole run)
    int AttachmentsIn = 0; // attachments fetched
    std::int64_t BytesIn = 0;
    int Outbox = 0; // messages still to send
    int Sent = 0;
    int Refused = 0; // messages the SMTP server refused (whole run)
    int AttachmentsOut = 0;
    std::int64_t BytesOut = 0;
};

struct TProgressGauge {
    std::int64_t Position = 0;
    std::int64_t Maximum = 0;
};

// Implemented by the progress window; told after every change of the state.
class TTransferProgressObserver {
public:
    virtual ~TTransferProgressObserver() = default;
    virtual void ProgressChanged(const TTransferProgressState& state) = 0;
};

// The captions of the window's labels, from the texts table.
struct TTransferProgressCaptions {
    std::string Title;          // "Pelmora v.3.0.5"
    std::string Incoming;       // 1/80
    std::string Waiting;        // 2/5
    std::string Downloaded;     // 2/13
    std::string Blocked;        // 2/14
    std::string AttachmentsIn;  // 2/15
    std::string BytesIn;        // 2/16
    std::string Outgoing;       // 1/81
    std::string Outbox;         // 2/20
    std::string Sent;           // 2/17
    std::string Refused;        // 2/18
    std::string AttachmentsOut; // 2/19
    std::string BytesOut;       // 2/21
    std::string CloseOnReady;   // 2/23
    std::string ShowLog;        // 2/1
};
TTransferProgressCaptions TransferProgressCaptions(const TMessageTexts& texts);

constexpr const char* kTransferProgressTitle = "Pelmora v.3.0.5";

class TTransferProgressState {
public:
    std::string AccountLine;
    std::string ActionLine;
    bool ActionRed = false;
    TProgressGauge Overall; // messages of the session or of the outbox
    TProgressGauge Message; // bytes of the current message
    TTransferCounters Counters;
    bool BlockedRed = false;
    bool RefusedRed = false;
    std::string ButtonCaption; // "Abort!" while running, "Close" at the end
    bool CloseOnReady = false;
    bool ShowLogAfterClose = false;
    bool Finished = false;

    // The window's check box rule: "Show Connection LogFile" only while "Close this window
    // when done" is not ticked.
    bool ShowLogEnabled() const { return !CloseOnReady; }

    // Not owned; null while no window shows the state.
    TTransferProgressObserver* Observer = nullptr;

    // Tells the observer about the current state.
    void Changed() const;
    void SetAction(std::string text);
    void SetAccount(std::string text);
    // Moves a gauge forward (never backwards) within its maximum.
    static void Advance(TProgressGauge& gauge, std::int64_t position);
    // Back to the state of a new window: gauges 0, empty lines, counters 0.
    void Reset(std::string buttonCaption, bool closeOnReady, bool showLogAfterClose);
};

} // namespace pelmora
