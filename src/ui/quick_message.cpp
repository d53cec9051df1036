#include "ui/quick_message.h"

#include "shell/dialog_rules.h"
#include "ui/artwork.h"
#include "ui/text_convert.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace pelmora {

namespace {

constexpr int kBaseWidth = 380;
constexpr int kBaseHeight = 190;

} // namespace

TQuickMessage::TQuickMessage(const TPopupRequest& request, const TDialogTexts& texts,
                             QWidget* parent)
    : QDialog(parent), Texts(texts), Modeless(request.Modeless), DisplayMs(request.DisplayMs) {
    const QString caption = ToQt(request.Caption);
    setWindowTitle(ToQt(PopupTitle(request.Caption)));
    Build(caption, ToQtLines(request.Text), request.TextSize, request.Large, request.Animation);
}

TQuickMessage::TQuickMessage(const QString& caption, const QString& text, const TDialogTexts& texts,
                             QWidget* parent)
    : QDialog(parent), Texts(texts), Editable(true) {
    setWindowTitle(Texts.EditHtml + QStringLiteral(": ") + caption); // as EditPopupTitle
    Build(caption, text, 11, true, TPopupAnimation::None);
    connect(TextView, &QTextEdit::textChanged, this,
            [this] { Q_EMIT TextEdited(TextView->toPlainText()); });
}

void TQuickMessage::Build(const QString& caption, const QString& text, int textSize, bool large,
                          TPopupAnimation animation) {
    setObjectName(QStringLiteral("QuickMessage"));
    auto* layout = new QVBoxLayout(this);

    CaptionLabel = new QLabel(caption, this);
    CaptionLabel->setObjectName(QStringLiteral("CaptionLabel"));
    QFont captionFont = CaptionLabel->font();
    captionFont.setPointSize(11);
    captionFont.setBold(true);
    CaptionLabel->setFont(captionFont);
    CaptionLabel->setWordWrap(true);
    CaptionLabel->installEventFilter(this);

    Logo = new QLabel(this);
    Logo->setObjectName(QStringLiteral("Logo"));
    Logo->setPixmap(ProductLogo());
    Logo->setAlignment(Qt::AlignCenter);
    Logo->installEventFilter(this);

    const bool logo = !Editable && caption.contains(kProductLongName);
    CaptionLabel->setVisible(!logo);
    Logo->setVisible(logo);
    layout->addWidget(Logo);
    layout->addWidget(CaptionLabel);

    auto* middle = new QHBoxLayout;
    TextView = new QTextEdit(this);
    TextView->setObjectName(QStringLiteral("TextView"));
    TextView->setAcceptRichText(false);
    TextView->setPlainText(text);
    TextView->setReadOnly(!Editable);
    QFont textFont = TextView->font();
    textFont.setPointSize(textSize > 0 ? textSize : 11);
    TextView->setFont(textFont);
    TextView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TextView->setVerticalScrollBarPolicy(large ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    TextView->setLineWrapMode(QTextEdit::WidgetWidth);
    if (!Editable) {
        TextView->setToolTip(Texts.ClickToClose);
        TextView->setFrameShape(QFrame::NoFrame);
        TextView->viewport()->installEventFilter(this);
        TextView->installEventFilter(this);
        TextView->viewport()->setCursor(Qt::PointingHandCursor);
    }
    const bool centred = !large || logo;
    TextView->selectAll();
    TextView->setAlignment(centred ? Qt::AlignHCenter : Qt::AlignLeft);
    QTextCursor cursor = TextView->textCursor();
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::Start);
    TextView->setTextCursor(cursor);
    middle->addWidget(TextView, 1);

    ExtraPanel = new QWidget(this);
    ExtraPanel->setObjectName(QStringLiteral("ExtraPanel"));
    ExtraPanel->setFixedWidth(12);
    ExtraPanel->setVisible(large);
    middle->insertWidget(0, ExtraPanel);
    layout->addLayout(middle, 1);

    auto* bottom = new QHBoxLayout;
    auto* busy = new QProgressBar(this);
    busy->setObjectName(QStringLiteral("Animation"));
    busy->setRange(0, 0); // an endless busy indicator
    busy->setTextVisible(false);
    busy->setMaximumHeight(14);
    busy->setVisible(animation != TPopupAnimation::None);
    Animation = busy;
    bottom->addWidget(busy, 1);
    bottom->addStretch();
    CloseBtn = new QPushButton(Texts.Close, this);
    CloseBtn->setObjectName(QStringLiteral("CloseButton"));
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(CloseBtn);
    layout->addLayout(bottom);

    resize(kBaseWidth + (large ? kLargeExtraWidth : 0),
           kBaseHeight + (large ? kLargeExtraHeight : 0));

    Timer = new QTimer(this);
    Timer->setSingleShot(true);
    connect(Timer, &QTimer::timeout, this, [this] {
        if (Modeless)
            close();
    });
}

bool TQuickMessage::ShowsLogo() const {
    return !Logo->isHidden();
}

QString TQuickMessage::Text() const {
    return TextView->toPlainText();
}

void TQuickMessage::ShowModeless() {
    Modeless = true;
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    show();
    raise();
    activateWindow();
    Timer->start(DisplayMs > 0 ? DisplayMs : 0);
}

bool TQuickMessage::eventFilter(QObject* watched, QEvent* event) {
    if (!Editable && TextView) {
        const bool closer =
            watched == TextView->viewport() || watched == CaptionLabel || watched == Logo;
        if (closer && event->type() == QEvent::MouseButtonRelease) {
            close();
            return true;
        }
        if (watched == TextView && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                close();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TQuickMessage::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && Modeless) {
        if (isActiveWindow())
            WasActive = true;
        else if (WasActive && isVisible())
            close();
    }
    QDialog::changeEvent(event);
}

void TQuickMessage::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // A hidden modeless pop-up is gone for good.
    if (Modeless) {
        Timer->stop();
        deleteLater();
    }
}

void TQuickMessage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitText();
}

void TQuickMessage::FitText() {
    if (Editable || !TextView)
        return;
    if (layout())
        layout()->activate();
    QTextDocument* document = TextView->document();
    const int width = TextView->viewport()->width();
    if (width <= 0)
        return;
    document->setTextWidth(width);
    const int needed = static_cast<int>(std::ceil(document->size().height())) + 4;
    const int missing = needed - TextView->viewport()->height();
    if (missing <= 0)
        return;
    int height = this->height() + missing;
    if (const QScreen* shown = screen()) {
        const QRect room = shown->availableGeometry();
        const int most = room.height() - (frameGeometry().height() - this->height());
        if (height > most) {
            // Even the whole screen is not enough: the rest scrolls.
            height = most;
            TextView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        }
        resize(this->width(), height);
        QRect frame = frameGeometry();
        if (frame.bottom() > room.bottom())
            move(x(), std::max(room.top(), y() - (frame.bottom() - room.bottom())));
        return;
    }
    resize(this->width(), height);
}

void TQuickMessage::keyPressEvent(QKeyEvent* event) {
    // The editable form closes only by its close button.
    if (Editable && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace pelmora
