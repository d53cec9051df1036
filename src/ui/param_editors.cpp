#include "ui/param_editors.h"

#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace pelmora {

namespace {

bool IsEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

void Begin(TParamEditorState& state, const QString& href) {
    state.Href = href;
    state.Cancelled = false;
    state.Done = false;
}

} // namespace

// --- TPopupEdit ---

TPopupEdit::TPopupEdit(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("PopupEdit"));
    hide();
}

void TPopupEdit::Start(const QString& href, const QString& value, const QRect& area) {
    Begin(State, href);
    setText(value);
    setGeometry(area.x(), area.y(), std::max(area.width(), 16) + 40,
                std::max(area.height() + 4, sizeHint().height()));
    show();
    raise();
    selectAll();
    setFocus(Qt::PopupFocusReason);
}

void TPopupEdit::Finish(bool commit) {
    if (State.Done)
        return;
    State.Done = true;
    State.Cancelled = !commit;
    hide();
    if (commit)
        Q_EMIT Committed(text());
    else
        Q_EMIT Cancelled();
}

void TPopupEdit::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event))
        return Finish(true);
    if (event->key() == Qt::Key_Escape)
        return Finish(false);
    QLineEdit::keyPressEvent(event);
}

void TPopupEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    Finish(true);
}

// --- TPopupSpinEdit ---

TPopupSpinEdit::TPopupSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setObjectName(QStringLiteral("PopupSpinEdit"));
    setRange(INT_MIN, INT_MAX);
    hide();
}

void TPopupSpinEdit::Start(const QString& href, int value, const QRect& area) {
    Begin(State, href);
    setValue(value);
    setGeometry(area.x(), area.y(), std::max(area.width(), 16) + 16 + 40,
                std::max(area.height() + 4, sizeHint().height()));
    show();
    raise();
    selectAll();
    setFocus(Qt::PopupFocusReason);
}

void TPopupSpinEdit::Finish(bool commit) {
    if (State.Done)
        return;
    State.Done = true;
    State.Cancelled = !commit;
    hide();
    if (commit) {
        interpretText();
        Q_EMIT Committed(QString::number(value()));
    } else {
        Q_EMIT Cancelled();
    }
}

void TPopupSpinEdit::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event))
        return Finish(true);
    if (event->key() == Qt::Key_Escape)
        return Finish(false);
    QSpinBox::keyPressEvent(event);
}

void TPopupSpinEdit::focusOutEvent(QFocusEvent* event) {
    QSpinBox::focusOutEvent(event);
    Finish(true);
}

// --- TPopupDatePicker ---

TPopupDatePicker::TPopupDatePicker(QWidget* parent) : QDateEdit(parent) {
    setObjectName(QStringLiteral("PopupDatePicker"));
    setCalendarPopup(true);
    hide();
}

void TPopupDatePicker::Start(const QString& href, const QString& value, const QRect& area) {
    Begin(State, href);
    const QLocale locale;
    const QString trimmed = value.trimmed();
    const QStringList formats = {locale.dateFormat(QLocale::ShortFormat),
                                 QStringLiteral("dd-MM-yyyy"), QStringLiteral("d-M-yyyy"),
                                 QStringLiteral("yyyy-MM-dd"), QStringLiteral("dd/MM/yyyy")};
    QDate date;
    DateFormat = formats.first();
    for (const QString& format : formats) {
        date = QDate::fromString(trimmed, format);
        if (date.isValid()) {
            DateFormat = format;
            break;
        }
    }
    setDisplayFormat(DateFormat);
    setDate(date.isValid() ? date : QDate::currentDate());
    setGeometry(area.x(), area.y(), std::max(area.width(), 64) + 40,
                std::max(area.height() + 4, sizeHint().height()));
    show();
    raise();
    setFocus(Qt::PopupFocusReason);
}

void TPopupDatePicker::Finish(bool commit) {
    if (State.Done)
        return;
    State.Done = true;
    State.Cancelled = !commit;
    hide();
    if (commit)
        Q_EMIT Committed(date().toString(DateFormat));
    else
        Q_EMIT Cancelled();
}

void TPopupDatePicker::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event))
        return Finish(true);
    if (event->key() == Qt::Key_Escape)
        return Finish(false);
    QDateEdit::keyPressEvent(event);
}

void TPopupDatePicker::focusOutEvent(QFocusEvent* event) {
    QDateEdit::focusOutEvent(event);
    // The calendar taking the focus is part of the edit, not an end of it.
    if (event->reason() != Qt::PopupFocusReason)
        Finish(true);
}

// --- TPopupListBox ---

TPopupListBox::TPopupListBox(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("PopupListBox"));
    setWindowFlags(Qt::Popup);
    setSelectionMode(QAbstractItemView::SingleSelection);
    hide();
}

void TPopupListBox::Start(const QString& href, const QStringList& entries, int selected,
                          const QRect& anchor) {
    Begin(State, href);
    PressedInside = false;
    clear();
    addItems(entries);
    setCurrentRow(selected); // -1: nothing selected
    if (selected < 0)
        clearSelection();
    int widest = 0;
    for (const QString& entry : entries)
        widest = std::max(widest, fontMetrics().horizontalAdvance(entry));
    const int rows = std::max(1, std::min<int>(static_cast<int>(entries.size()), 12));
    const int rowHeight = sizeHintForRow(0) > 0 ? sizeHintForRow(0) : fontMetrics().height() + 2;
    int width = std::max(widest + 16 + 2 * frameWidth(), anchor.width());
    if (entries.size() > rows)
        width += verticalScrollBar()->sizeHint().width();
    const QSize size(width, rows * rowHeight + 2 * frameWidth());
    resize(size);
    // Below the parameter, so that the click that opened the list does not land on an entry,
    // and entirely on the screen.
    QPoint at = anchor.bottomLeft() + QPoint(0, 2);
    if (const QScreen* screen = QGuiApplication::screenAt(anchor.center())) {
        const QRect room = screen->availableGeometry();
        if (at.y() + size.height() > room.bottom() && anchor.top() - size.height() >= room.top())
            at.setY(anchor.top() - size.height() - 2);
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    }
    move(at);
    show();
    setFocus(Qt::PopupFocusReason);
}

void TPopupListBox::Finish(bool commit) {
    if (State.Done)
        return;
    State.Done = true;
    State.Cancelled = !commit;
    const QString text = currentItem() ? currentItem()->text() : QString();
    hide();
    if (commit)
        Q_EMIT Committed(text);
    else
        Q_EMIT Cancelled();
}

void TPopupListBox::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event)) {
        if (currentItem() && currentItem()->isSelected())
            Finish(true);
        return;
    }
    if (event->key() == Qt::Key_Escape)
        return Finish(false);
    QListWidget::keyPressEvent(event);
}

void TPopupListBox::mousePressEvent(QMouseEvent* event) {
    PressedInside = rect().contains(event->position().toPoint());
    QListWidget::mousePressEvent(event);
}

void TPopupListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    // The release of the press that opened the list chooses nothing.
    const bool ownClick = PressedInside;
    PressedInside = false;
    if (!ownClick)
        return;
    if (QListWidgetItem* item = itemAt(event->position().toPoint())) {
        setCurrentItem(item);
        Finish(true);
    }
}

void TPopupListBox::hideEvent(QHideEvent* event) {
    QListWidget::hideEvent(event);
    Finish(false); // closed by a click elsewhere: nothing chosen
}

} // namespace pelmora
