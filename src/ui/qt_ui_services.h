#pragma once
// TQtUiServices: the core's UI services carried out with Qt widgets. Dialogs are parented to
// the owner window when one is set; the status bars and the animation picture are the main
// window's, attached by it (they may be absent, e.g. before the window exists). At most one
// self-closing pop-up is alive: a new pop-up closes it. Modal pop-ups wait for the user.

#include "shell/ui_services.h"
#include "ui/dialog_texts.h"
#include "ui/quick_message.h"

#include <QHash>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QStatusBar>

class QSoundEffect;

namespace pelmora {

class TMessageTexts;

// The dialog captions from the texts table.
TDialogTexts DialogTextsFrom(const TMessageTexts& texts);

class TQtUiServices : public QObject, public TUiServices {
    Q_OBJECT
public:
    explicit TQtUiServices(QObject* parent = nullptr);

    void SetTexts(const TDialogTexts& texts) { Texts = texts; }
    void SetOwner(QWidget* owner) { Owner = owner; }
    void SetStatusBars(QStatusBar* folderStatus, QStatusBar* messageStatus);
    void SetAnimationLabel(QLabel* label) { AnimationLabel = label; }
    // The self-closing pop-up that is showing, if any.
    TQuickMessage* CurrentPopup() const { return Popup.data(); }

    void ShowPopup(const TPopupRequest& request) override;
    void ClosePopup() override;
    void EditInPopup(const std::string& caption, std::string& text) override;
    int AskDialog(const std::string& caption, const std::string& text, int textSize,
                  bool& checkState, bool checkEnabled) override;
    std::optional<std::string> QueryText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial, bool password) override;
    bool PlaySoundFile(const std::string& path) override;
    void Beep() override;
    void Pump() override;
    void Wait(int milliseconds) override;
    std::optional<std::string> ChooseFolder(const std::string& caption,
                                            const std::string& startDir) override;
    std::optional<std::string> ChooseOpenFile(const std::string& caption,
                                              const std::string& startDir,
                                              const std::string& filter) override;
    std::optional<std::string> ChooseSaveFile(const std::string& caption,
                                              const std::string& startDir,
                                              const std::string& fileName,
                                              const std::string& filter) override;
    void SetBusyCursor(bool busy) override;
    bool ShowAnimationFrame(const std::string& framePath) override;
    void SetStatusText(TStatusBar bar, const std::string& text) override;
    void SetStatusColour(TStatusBar bar, TStatusColour colour) override;

private:
    QStatusBar* Bar(TStatusBar bar) const;

    TDialogTexts Texts;
    QPointer<QWidget> Owner;
    QPointer<QStatusBar> FolderStatus;
    QPointer<QStatusBar> MessageStatus;
    QPointer<QLabel> AnimationLabel;
    QPointer<TQuickMessage> Popup;
    QHash<QString, QSoundEffect*> Sounds; // children of this object
    bool Busy = false;
};

} // namespace pelmora
