#include "processing/transfer_progress.h"

#include "shell/message_texts.h"

#include <algorithm>

namespace pelmora {

TTransferProgressCaptions TransferProgressCaptions(const TMessageTexts& texts) {
    TTransferProgressCaptions c;
    c.Title = kTransferProgressTitle;
    c.Incoming = texts.Text(1, 80);
    c.Waiting = texts.Text(2, 5);
    c.Downloaded = texts.Text(2, 13);
    c.Blocked = texts.Text(2, 14);
    c.AttachmentsIn = texts.Text(2, 15);
    c.BytesIn = texts.Text(2, 16);
    c.Outgoing = texts.Text(1, 81);
    c.Outbox = texts.Text(2, 20);
    c.Sent = texts.Text(2, 17);
    c.Refused = texts.Text(2, 18);
    c.AttachmentsOut = texts.Text(2, 19);
    c.BytesOut = texts.Text(2, 21);
    c.CloseOnReady = texts.Text(2, 23);
    c.ShowLog = texts.Text(2, 1);
    return c;
}

void TTransferProgressState::Changed() const {
    if (Observer)
        Observer->ProgressChanged(*this);
}

void TTransferProgressState::SetAction(std::string text) {
    ActionLine = std::move(text);
    ActionRed = false;
    Changed();
}

void TTransferProgressState::SetAccount(std::string text) {
    AccountLine = std::move(text);
    Changed();
}

void TTransferProgressState::Advance(TProgressGauge& gauge, std::int64_t position) {
    if (position < gauge.Position)
        return;
    gauge.Position = gauge.Maximum > 0 ? std::min(position, gauge.Maximum) : position;
}

void TTransferProgressState::Reset(std::string buttonCaption, bool closeOnReady,
                                   bool showLogAfterClose) {
    AccountLine.clear();
    ActionLine.clear();
    ActionRed = false;
    Overall = {};
    Message = {};
    Counters = {};
    BlockedRed = false;
    RefusedRed = false;
    ButtonCaption = std::move(buttonCaption);
    CloseOnReady = closeOnReady;
    ShowLogAfterClose = showLogAfterClose;
    Finished = false;
    Changed();
}

} // namespace pelmora
