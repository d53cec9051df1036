#include "ui/mail_progress_form.h"

#include "processing/transfer_run.h"
#include "shell/settings.h"
#include "shell/shell_state.h"
#include "ui/text_convert.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace pelmora {

namespace {

void SetRed(QLabel* label, bool red) {
    label->setStyleSheet(red ? QStringLiteral("color: #c00000; font-weight: bold;") : QString());
}

} // namespace

TMailProgressForm::TMailProgressForm(TTransferRun& run, const TTransferProgressCaptions& captions,
                                     QWidget* parent)
    : QWidget(parent, Qt::Dialog), Run(run) {
    setObjectName(QStringLiteral("MailProgressForm"));
    setWindowTitle(ToQt(captions.Title));
    auto* layout = new QVBoxLayout(this);
    AccountLabel = new QLabel(this);
    AccountLabel->setObjectName(QStringLiteral("AccountLabel"));
    QFont bold = AccountLabel->font();
    bold.setBold(true);
    AccountLabel->setFont(bold);
    ActionLabel = new QLabel(this);
    ActionLabel->setObjectName(QStringLiteral("ActionLabel"));
    ActionLabel->setMinimumWidth(360);
    OverallGauge = new QProgressBar(this);
    OverallGauge->setObjectName(QStringLiteral("OverallGauge"));
    MessageGauge = new QProgressBar(this);
    MessageGauge->setObjectName(QStringLiteral("MessageGauge"));
    for (QProgressBar* gauge : {OverallGauge, MessageGauge}) {
        gauge->setRange(0, 1000);
        gauge->setTextVisible(false);
    }
    layout->addWidget(AccountLabel);
    layout->addWidget(ActionLabel);
    layout->addWidget(OverallGauge);
    layout->addWidget(MessageGauge);

    auto* boxes = new QHBoxLayout;
    auto group = [this, boxes](const std::string& title,
                               std::initializer_list<std::pair<TCounter, std::string>> rows) {
        auto* box = new QGroupBox(ToQt(title), this);
        auto* grid = new QGridLayout(box);
        int line = 0;
        for (const auto& [counter, caption] : rows) {
            auto* label = new QLabel(ToQt(caption), box);
            grid->addWidget(label, line, 0);
            CounterCaptions[counter] = label;
            auto* value = new QLabel(QStringLiteral("0"), box);
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(value, line, 1);
            Counters[counter] = value;
            ++line;
        }
        boxes->addWidget(box);
    };
    group(captions.Incoming, {{Waiting, captions.Waiting},
                              {Downloaded, captions.Downloaded},
                              {Blocked, captions.Blocked},
                              {AttachmentsIn, captions.AttachmentsIn},
                              {BytesIn, captions.BytesIn}});
    group(captions.Outgoing, {{Outbox, captions.Outbox},
                              {Sent, captions.Sent},
                              {Refused, captions.Refused},
                              {AttachmentsOut, captions.AttachmentsOut},
                              {BytesOut, captions.BytesOut}});
    layout->addLayout(boxes);

    CloseOnReadyBox = new QCheckBox(ToQt(captions.CloseOnReady), this);
    CloseOnReadyBox->setObjectName(QStringLiteral("CloseOnReady"));
    ShowLogBox = new QCheckBox(ToQt(captions.ShowLog), this);
    ShowLogBox->setObjectName(QStringLiteral("ShowLogAfterClose"));
    layout->addWidget(CloseOnReadyBox);
    layout->addWidget(ShowLogBox);
    Button = new QPushButton(this);
    Button->setObjectName(QStringLiteral("AbortButton"));
    layout->addWidget(Button, 0, Qt::AlignRight);

    connect(CloseOnReadyBox, &QCheckBox::toggled, this, [this](bool on) {
        if (Updating)
            return;
        Run.Progress.CloseOnReady = on;
        ShowLogBox->setEnabled(Run.Progress.ShowLogEnabled());
    });
    connect(ShowLogBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!Updating)
            Run.Progress.ShowLogAfterClose = on;
    });
    connect(Button, &QPushButton::clicked, this, &TMailProgressForm::ButtonClick);
}

TMailProgressForm::~TMailProgressForm() {
    if (Run.Progress.Observer == this)
        Run.DetachProgressWindow();
}

int TMailProgressForm::GaugeValue(const TProgressGauge& gauge) {
    if (gauge.Maximum <= 0)
        return 0;
    const std::int64_t position = std::clamp<std::int64_t>(gauge.Position, 0, gauge.Maximum);
    return static_cast<int>(position * 1000 / gauge.Maximum);
}

void TMailProgressForm::ProgressChanged(const TTransferProgressState& state) {
    Updating = true;
    AccountLabel->setText(ToQt(state.AccountLine));
    ActionLabel->setText(ToQt(state.ActionLine));
    SetRed(ActionLabel, state.ActionRed);
    OverallGauge->setValue(GaugeValue(state.Overall));
    MessageGauge->setValue(GaugeValue(state.Message));
    const TTransferCounters& c = state.Counters;
    const std::array<std::int64_t, CounterCount> values = {
        c.Waiting, c.Downloaded, c.Blocked, c.AttachmentsIn,  c.BytesIn,
        c.Outbox,  c.Sent,       c.Refused, c.AttachmentsOut, c.BytesOut};
    for (int i = 0; i < CounterCount; ++i)
        Counters[static_cast<size_t>(i)]->setText(QString::number(values[static_cast<size_t>(i)]));
    for (TCounter counter : {Blocked, Refused}) {
        const bool red = counter == Blocked ? state.BlockedRed : state.RefusedRed;
        SetRed(Counters[counter], red);
        SetRed(CounterCaptions[counter], red);
    }
    // A run that ended well has done all it had to: its gauges show that rather than the
    // empty gauges of the last account or outbox it looked at.
    if (state.Finished && !state.ActionRed) {
        OverallGauge->setValue(OverallGauge->maximum());
        MessageGauge->setValue(MessageGauge->maximum());
    }
    Button->setText(ToQt(state.ButtonCaption));
    CloseOnReadyBox->setChecked(state.CloseOnReady);
    ShowLogBox->setChecked(state.ShowLogAfterClose);
    ShowLogBox->setEnabled(state.ShowLogEnabled());
    Updating = false;
}

void TMailProgressForm::ButtonClick() {
    if (Run.ProgressButtonClick(this))
        close();
}

QRect TMailProgressForm::PlaceCentred(const QSize& size, const QRect& owner, const QRect& screen) {
    QRect place(QPoint(0, 0), size);
    place.moveCenter(owner.isValid() ? owner.center() : screen.center());
    if (!screen.isValid())
        return place;
    place.moveLeft(std::max(screen.left(), std::min(place.left(), screen.right() - size.width() + 1)));
    place.moveTop(std::max(screen.top(), std::min(place.top(), screen.bottom() - size.height() + 1)));
    return place;
}

void TMailProgressForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (Placed)
        return;
    Placed = true;
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const bool ownerShown = owner && owner->isVisible() && !owner->isMinimized();
    const QRect ownerRect = ownerShown ? owner->frameGeometry() : QRect();
    const QScreen* screen = ownerShown ? owner->screen() : this->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    QSize size = sizeHint().expandedTo(minimumSizeHint());
    if (room.isValid())
        size = size.boundedTo(room.size());
    resize(size);
    move(PlaceCentred(frameGeometry().size().expandedTo(size), ownerRect, room).topLeft());
}

void TMailProgressForm::closeEvent(QCloseEvent* event) {
    const bool showLog = Run.ProgressWindowClosing(this);
    event->accept();
    if (showLog && OnShowLog)
        OnShowLog();
}

} // namespace pelmora
