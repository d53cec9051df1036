#pragma once
// TMailProgressForm: the mail transfer progress window. It observes the run's progress state
// and copies it into its widgets: the account and action lines (the action red after a
// failure), a gauge for the session and one for the current message, the incoming and
// outgoing counters (blocked and refused, caption and number, red when there were any), the
// button ("Abort!" while the run lasts, "Close" at its end) and the two check boxes, whose
// ticks go back into the state the run reads at its end and into the settings when the window
// closes. It opens centred on its parent window, entirely on the screen, and as a dialog of
// that window it stays above it.

#include "processing/transfer_progress.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace pelmora {

class TTransferRun;

class TMailProgressForm : public QWidget, public TTransferProgressObserver {
    Q_OBJECT
public:
    // The counters in their order on the window.
    enum TCounter {
        Waiting,
        Downloaded,
        Blocked,
        AttachmentsIn,
        BytesIn,
        Outbox,
        Sent,
        Refused,
        AttachmentsOut,
        BytesOut,
        CounterCount
    };

    TMailProgressForm(TTransferRun& run, const TTransferProgressCaptions& captions,
                      QWidget* parent);
    ~TMailProgressForm() override;

    void ProgressChanged(const TTransferProgressState& state) override;

    // Shows the last session's log after the user closed a finished run's window with
    // "Show Connection LogFile" ticked.
    std::function<void()> OnShowLog;

    QLabel* AccountLabel = nullptr;
    QLabel* ActionLabel = nullptr;
    QProgressBar* OverallGauge = nullptr;
    QProgressBar* MessageGauge = nullptr;
    std::array<QLabel*, CounterCount> Counters{};
    std::array<QLabel*, CounterCount> CounterCaptions{};
    QPushButton* Button = nullptr;
    QCheckBox* CloseOnReadyBox = nullptr;
    QCheckBox* ShowLogBox = nullptr;

    // A gauge's position in thousandths of its maximum (0 without a maximum).
    static int GaugeValue(const TProgressGauge& gauge);
    // Where a window of `size` opens: centred on `owner` (a rectangle on the screen), moved
    // entirely into `screen`; a window larger than the screen keeps its top left corner on it.
    static QRect PlaceCentred(const QSize& size, const QRect& owner, const QRect& screen);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ButtonClick();

    bool Placed = false;

    TTransferRun& Run; // Not owned; outlives the window.
    bool Updating = false;
};

} // namespace pelmora
