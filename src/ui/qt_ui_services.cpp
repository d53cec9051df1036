#include "ui/qt_ui_services.h"

#include "shell/dialog_rules.h"
#include "shell/message_texts.h"
#include "ui/message_dlg.h"
#include "ui/query_form.h"
#include "ui/quick_message.h"
#include "ui/text_convert.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSoundEffect>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace pelmora {

namespace {

// How long PlaySoundFile waits for a sound file to be decoded before it counts as failed.
constexpr int kSoundLoadMs = 1500;

std::string AsDirectory(const QString& path) {
    std::string dir = FromQt(path);
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace

TDialogTexts DialogTextsFrom(const TMessageTexts& texts) {
    TDialogTexts result;
    auto take = [&texts](QString& target, int module, int slot) {
        const std::string& text = texts.Text(module, slot);
        if (!text.empty())
            target = ToQt(text);
    };
    take(result.Close, 2, 10);
    take(result.ClickToClose, 1, 103);
    take(result.EditHtml, 1, 88);
    take(result.DontAskAgain, 1, 43);
    take(result.Yes, 3, 33);
    take(result.No, 3, 34);
    return result;
}

TQtUiServices::TQtUiServices(QObject* parent) : QObject(parent) {}

void TQtUiServices::SetStatusBars(QStatusBar* folderStatus, QStatusBar* messageStatus) {
    FolderStatus = folderStatus;
    MessageStatus = messageStatus;
}

void TQtUiServices::ShowPopup(const TPopupRequest& request) {
    // One pop-up at a time: a new one takes the place of a self-closing one. A modal pop-up
    // (an error the user must see) is never closed by another request.
    ClosePopup();
    if (request.Modeless) {
        auto* popup = new TQuickMessage(request, Texts, Owner);
        Popup = popup;
        popup->ShowModeless();
        return;
    }
    TQuickMessage popup(request, Texts, Owner);
    popup.exec();
}

void TQtUiServices::ClosePopup() {
    // Only self-closing pop-ups are tracked; a modal one is closed by its user.
    if (Popup)
        Popup->close();
    Popup.clear();
}

void TQtUiServices::EditInPopup(const std::string& caption, std::string& text) {
    TQuickMessage popup(ToQt(caption), ToQt(text), Texts, Owner);
    connect(&popup, &TQuickMessage::TextEdited, &popup,
            [&text](const QString& edited) { text = FromQt(edited); });
    QApplication::beep();
    popup.exec();
}

int TQtUiServices::AskDialog(const std::string& caption, const std::string& text, int textSize,
                             bool& checkState, bool checkEnabled) {
    TPelmoraMessageDLG dialog(ToQt(caption), ToQtLines(text), textSize, checkState, checkEnabled,
                              Texts, Owner);
    return dialog.Ask(checkState);
}

std::optional<std::string> TQtUiServices::QueryText(const std::string& caption,
                                                    const std::string& prompt,
                                                    const std::string& initial, bool password) {
    TQueryForm form(ToQt(caption), ToQt(prompt), ToQt(initial), password, Owner);
    const std::optional<QString> answer = form.Query();
    if (!answer)
        return std::nullopt;
    return FromQt(*answer);
}

bool TQtUiServices::PlaySoundFile(const std::string& path) {
    const QString file = ToQt(path);
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return false;
    QSoundEffect* effect = Sounds.value(file);
    if (!effect) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(file));
        Sounds.insert(file, effect);
    }
    // Decoding runs in the background; wait a moment for it to succeed or fail.
    QElapsedTimer clock;
    clock.start();
    while (effect->status() == QSoundEffect::Loading && clock.elapsed() < kSoundLoadMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (effect->status() != QSoundEffect::Ready) {
        Sounds.remove(file);
        effect->deleteLater();
        return false;
    }
    effect->play();
    QCoreApplication::processEvents();
    return true;
}

void TQtUiServices::Beep() {
    QApplication::beep();
}

void TQtUiServices::Pump() {
    QCoreApplication::processEvents();
}

void TQtUiServices::Wait(int milliseconds) {
    if (milliseconds <= 0) {
        Pump();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

std::optional<std::string> TQtUiServices::ChooseFolder(const std::string& caption,
                                                       const std::string& startDir) {
    const QString dir = QFileDialog::getExistingDirectory(Owner, ToQt(caption), ToQt(startDir));
    if (dir.isEmpty())
        return std::nullopt;
    return AsDirectory(QFileInfo(dir).absoluteFilePath());
}

std::optional<std::string> TQtUiServices::ChooseOpenFile(const std::string& caption,
                                                         const std::string& startDir,
                                                         const std::string& filter) {
    const QString file =
        QFileDialog::getOpenFileName(Owner, ToQt(caption), ToQt(startDir),
                                     ToQt(FileDialogFilter(filter)));
    if (file.isEmpty())
        return std::nullopt;
    return FromQt(QFileInfo(file).absoluteFilePath());
}

std::optional<std::string> TQtUiServices::ChooseSaveFile(const std::string& caption,
                                                         const std::string& startDir,
                                                         const std::string& fileName,
                                                         const std::string& filter) {
    QString start = ToQt(startDir);
    if (!fileName.empty())
        start = QDir(start).filePath(ToQt(fileName));
    const QString file =
        QFileDialog::getSaveFileName(Owner, ToQt(caption), start, ToQt(FileDialogFilter(filter)));
    if (file.isEmpty())
        return std::nullopt;
    return FromQt(QFileInfo(file).absoluteFilePath());
}

void TQtUiServices::SetBusyCursor(bool busy) {
    if (busy == Busy)
        return;
    Busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

bool TQtUiServices::ShowAnimationFrame(const std::string& framePath) {
    QPixmap frame;
    if (!frame.load(ToQt(framePath)))
        return false;
    if (AnimationLabel) {
        AnimationLabel->setPixmap(frame);
        AnimationLabel->repaint();
    }
    return true;
}

QStatusBar* TQtUiServices::Bar(TStatusBar bar) const {
    return bar == TStatusBar::Folder ? FolderStatus.data() : MessageStatus.data();
}

void TQtUiServices::SetStatusText(TStatusBar bar, const std::string& text) {
    if (QStatusBar* status = Bar(bar))
        status->showMessage(ToQt(text));
}

void TQtUiServices::SetStatusColour(TStatusBar bar, TStatusColour colour) {
    QStatusBar* status = Bar(bar);
    if (!status)
        return;
    switch (colour) {
    case TStatusColour::Normal:
        status->setStyleSheet(QString());
        break;
    case TStatusColour::Yellow:
        status->setStyleSheet(QStringLiteral("QStatusBar { background: #f7e36b; }"));
        break;
    case TStatusColour::Green:
        status->setStyleSheet(QStringLiteral("QStatusBar { background: #8fd68a; }"));
        break;
    case TStatusColour::Red:
        status->setStyleSheet(QStringLiteral("QStatusBar { background: #f08a80; }"));
        break;
    }
}

} // namespace pelmora
