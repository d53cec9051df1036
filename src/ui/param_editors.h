#pragma once
// The in-place editors of a parameter tree. Each shows for one parameter at a time, remembers
// that parameter's name and whether it was cancelled, and reports Committed with its text
// (plain, not escaped) or Cancelled. Enter commits, Escape cancels; losing the focus commits
// the edit, spin and date editors unless Escape was pressed; the list box commits on Enter or
// a click on an entry and cancels when it loses activation. The list box opens below the
// parameter, inside the screen, and takes no choice from the release of the click that
// opened it.

#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>

namespace pelmora {

// What every editor remembers about the parameter it edits.
struct TParamEditorState {
    QString Href;
    bool Cancelled = false;
    bool Done = true; // no edit running
};

class TPopupEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPopupEdit(QWidget* parent);
    void Start(const QString& href, const QString& value, const QRect& area);
    TParamEditorState State;
Q_SIGNALS:
    void Committed(const QString& text);
    void Cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Finish(bool commit);
};

class TPopupSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit TPopupSpinEdit(QWidget* parent);
    // A value that does not read as a whole number starts at 0.
    void Start(const QString& href, int value, const QRect& area);
    TParamEditorState State;
Q_SIGNALS:
    void Committed(const QString& text);
    void Cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Finish(bool commit);
};

class TPopupDatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit TPopupDatePicker(QWidget* parent);
    // The value is read in the short date format (and a few common forms); a value that does
    // not read as a date starts at today. The committed text uses the format that read it.
    void Start(const QString& href, const QString& value, const QRect& area);
    QString Format() const { return DateFormat; }
    TParamEditorState State;
Q_SIGNALS:
    void Committed(const QString& text);
    void Cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Finish(bool commit);
    QString DateFormat;
};

class TPopupListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TPopupListBox(QWidget* parent);
    // `anchor` is the parameter's area in global coordinates; the list opens below it (or
    // above it when the screen has no room below).
    void Start(const QString& href, const QStringList& entries, int selected, const QRect& anchor);
    TParamEditorState State;
Q_SIGNALS:
    void Committed(const QString& text);
    void Cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Finish(bool commit);
    bool PressedInside = false; // a press on the list itself began the current click
};

} // namespace pelmora
