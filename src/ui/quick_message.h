#pragma once
// TQuickMessage: the pop-up message window. A modeless pop-up closes itself when its time has
// passed, when it loses the focus or is hidden; any pop-up closes on a click on its text or
// caption, on Enter or Esc in its text and on its close button. The editable form (EditInPopup)
// closes only by its close button and reports every change of its text. A text longer than
// the window makes the window taller (as far as the screen allows), so none of it is cut.

#include "shell/ui_services.h"
#include "ui/dialog_texts.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTextEdit;
class QTimer;
class QWidget;

namespace pelmora {

class TQuickMessage : public QDialog {
    Q_OBJECT
public:
    // Extra size of the large and the editable form.
    static constexpr int kLargeExtraWidth = 320;
    static constexpr int kLargeExtraHeight = 250;

    TQuickMessage(const TPopupRequest& request, const TDialogTexts& texts, QWidget* parent);
    // The editable form: title texts.EditHtml + ": " + caption.
    TQuickMessage(const QString& caption, const QString& text, const TDialogTexts& texts,
                  QWidget* parent);

    bool IsModeless() const { return Modeless; }
    bool IsEditable() const { return Editable; }
    bool ShowsLogo() const;
    QString Text() const;
    QTextEdit* TextArea() const { return TextView; }
    QLabel* CaptionArea() const { return CaptionLabel; }
    QPushButton* CloseButton() const { return CloseBtn; }
    QWidget* AnimationArea() const { return Animation; }

    // Shows a modeless pop-up and starts its timer.
    void ShowModeless();

Q_SIGNALS:
    void TextEdited(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Grows the window until its text shows whole (within the screen).
    void FitText();
    void Build(const QString& caption, const QString& text, int textSize, bool large,
               TPopupAnimation animation);

    const TDialogTexts Texts;
    bool Modeless = false;
    bool Editable = false;
    bool WasActive = false;
    int DisplayMs = 0;
    QLabel* CaptionLabel = nullptr;
    QLabel* Logo = nullptr;
    QTextEdit* TextView = nullptr;
    QWidget* Animation = nullptr;
    QWidget* ExtraPanel = nullptr;
    QPushButton* CloseBtn = nullptr;
    QTimer* Timer = nullptr;
};

} // namespace pelmora
