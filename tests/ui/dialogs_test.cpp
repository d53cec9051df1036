// The pop-up, the message dialog and the query dialog, driven as a user would: buttons, keys,
// clicks and time.

#include "ui/message_dlg.h"
#include "ui/qt_ui_services.h"
#include "ui/query_form.h"
#include "ui/quick_message.h"
#include "ui/text_convert.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

using namespace pelmora;

namespace {

// Runs action on the modal dialog once it is up (exec() blocks the test's own code).
void WhenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* modal = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((modal = QApplication::activeModalWidget()) != nullptr, 3000);
        action(modal);
    });
}

TDialogTexts Texts(const QString& yes = QStringLiteral("Yes"),
                   const QString& no = QStringLiteral("No")) {
    TDialogTexts texts;
    texts.Yes = yes;
    texts.No = no;
    return texts;
}

} // namespace

class TDialogsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void AskDialogResults_data();
    void AskDialogResults();
    void AcceleratorKeys_data();
    void AcceleratorKeys();
    void AcceleratorLetterOfCaption_data();
    void AcceleratorLetterOfCaption();
    void AskDialogLayout();
    void QueryTextAnswers_data();
    void QueryTextAnswers();
    void QueryPasswordAndPrompt();
    void ModelessPopupClosesAfterItsTime();
    void ModalPopupStaysUntilClicked();
    void PopupCloseGestures_data();
    void PopupCloseGestures();
    void PopupForms();
    void NewPopupReplacesShowingOne();
    void EditInPopupCopiesEveryChange();
    void SoundsThatCannotPlay_data();
    void SoundsThatCannotPlay();
};

void TDialogsTest::AskDialogResults_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("checkEnabled");
    QTest::addColumn<bool>("checkIn");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("checkOut");

    QTest::newRow("first-button") << "first" << true << false << false << 1 << false;
    QTest::newRow("second-button") << "second" << true << false << false << 2 << false;
    QTest::newRow("ticked-then-first") << "first" << true << false << true << 1 << true;
    QTest::newRow("ticked-in-unticked-then-second")
        << "second" << true << true << true << 2 << false;
    QTest::newRow("enabled-box-starts-ticked") << "first" << true << true << false << 1 << true;
    QTest::newRow("disabled-box-keeps-true") << "first" << false << true << false << 1 << true;
    QTest::newRow("disabled-box-keeps-false") << "second" << false << false << false << 2 << false;
    QTest::newRow("closed-otherwise") << "close" << true << false << true << -1 << false;
    QTest::newRow("escape") << "escape" << true << true << false << -1 << true;
}

void TDialogsTest::AskDialogResults() {
    QFETCH(QString, action);
    QFETCH(bool, checkEnabled);
    QFETCH(bool, checkIn);
    QFETCH(bool, tick);
    QFETCH(int, result);
    QFETCH(bool, checkOut);

    TQtUiServices ui;
    ui.SetTexts(Texts());
    bool seenChecked = false;
    bool seenEnabled = false;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TPelmoraMessageDLG*>(modal);
        QVERIFY(dialog);
        seenEnabled = dialog->CheckBox()->isEnabled();
        seenChecked = dialog->CheckBox()->isChecked();
        if (tick)
            dialog->CheckBox()->click();
        if (action == QLatin1String("first"))
            dialog->FirstButton()->click();
        else if (action == QLatin1String("second"))
            dialog->SecondButton()->click();
        else if (action == QLatin1String("escape"))
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    bool check = checkIn;
    QCOMPARE(ui.AskDialog("Warning:", "Proceed?", 12, check, checkEnabled), result);
    QCOMPARE(check, checkOut);
    QCOMPARE(seenEnabled, checkEnabled);
    QCOMPARE(seenChecked, checkEnabled && checkIn);
}

void TDialogsTest::AcceleratorKeys_data() {
    QTest::addColumn<QString>("yes");
    QTest::addColumn<QString>("no");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("result");

    QTest::newRow("y-is-yes") << "Yes"
                              << "No"
                              << "y" << 1;
    QTest::newRow("n-is-no") << "Yes"
                             << "No"
                             << "n" << 2;
    QTest::newRow("upper-case-key") << "Yes"
                                    << "No"
                                    << "N" << 2;
    QTest::newRow("marked-letter") << "Ja"
                                   << "&Nee"
                                   << "n" << 2;
    QTest::newRow("marked-letter-not-first") << "Ja"
                                             << "Ne&in"
                                             << "i" << 2;
    // Two buttons with the same letter: the key presses nothing.
    QTest::newRow("same-letters") << "Ja"
                                  << "Jein"
                                  << "j" << -1;
    QTest::newRow("other-key") << "Yes"
                               << "No"
                               << "x" << -1;
}

void TDialogsTest::AcceleratorKeys() {
    QFETCH(QString, yes);
    QFETCH(QString, no);
    QFETCH(QString, key);
    QFETCH(int, result);

    TPelmoraMessageDLG dialog(QStringLiteral("Q"), QStringLiteral("Sure?"), 11, false, false,
                              Texts(yes, no), nullptr);
    WhenModal([&](QWidget* modal) {
        QTest::keyClicks(modal, key);
        // Nothing pressed: the dialog is still up; close it from outside.
        QTimer::singleShot(50, modal, [modal] {
            if (modal->isVisible())
                modal->close();
        });
    });
    bool check = false;
    QCOMPARE(dialog.Ask(check), result);
}

void TDialogsTest::AcceleratorLetterOfCaption_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("letter");
    QTest::newRow("plain") << "Yes"
                           << "y";
    QTest::newRow("marked") << "&Yes"
                            << "y";
    QTest::newRow("marked-inside") << "Ne&in"
                                   << "i";
    QTest::newRow("literal-ampersand") << "A&&B"
                                       << "a";
    QTest::newRow("literal-then-marked") << "A&&&B"
                                         << "b";
    QTest::newRow("leading-blank") << " Ok"
                                   << "o";
    QTest::newRow("empty") << ""
                           << "";
}

void TDialogsTest::AcceleratorLetterOfCaption() {
    QFETCH(QString, caption);
    QFETCH(QString, letter);
    const QChar got = TPelmoraMessageDLG::AcceleratorLetter(caption);
    QCOMPARE(got.isNull() ? QString() : QString(got), letter);
}

void TDialogsTest::AskDialogLayout() {
    TDialogTexts texts = Texts(QStringLiteral("Yes"), QStringLiteral("No"));
    texts.DontAskAgain = QStringLiteral("Don't ask this again");
    TPelmoraMessageDLG dialog(QStringLiteral("Warning:"), QStringLiteral("Line one\nLine two"), 13,
                              false, true, texts, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Pelmora - Warning:"));
    QCOMPARE(dialog.CheckBox()->text(), QStringLiteral("Don't ask this again"));
    QCOMPARE(dialog.FirstButton()->text().remove(QLatin1Char('&')), QStringLiteral("Yes"));
    QCOMPARE(dialog.SecondButton()->text().remove(QLatin1Char('&')), QStringLiteral("No"));
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("TextLabel"));
    QVERIFY(label);
    QCOMPARE(label->font().pointSize(), 13);
    QVERIFY(dialog.FirstButton()->isDefault());
}

void TDialogsTest::QueryTextAnswers_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("answer");
    QTest::newRow("trimmed") << "  45 " << true << "45";
    QTest::newRow("blanks-only") << "    " << true << "";
    QTest::newRow("inner-blanks-kept") << " two words " << true << "two words";
    QTest::newRow("cancelled") << "45" << false << "";
}

void TDialogsTest::QueryTextAnswers() {
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    QFETCH(QString, answer);

    TQtUiServices ui;
    WhenModal([&](QWidget* modal) {
        auto* form = qobject_cast<TQueryForm*>(modal);
        QVERIFY(form);
        QCOMPARE(form->Edit()->text(), QStringLiteral("30"));
        form->Edit()->clear();
        QTest::keyClicks(form->Edit(), typed);
        if (ok)
            QTest::keyClick(form->Edit(), Qt::Key_Return);
        else
            QTest::keyClick(form, Qt::Key_Escape);
    });
    const std::optional<std::string> result =
        ui.QueryText("Active Pickup", "Minutes", "30", false);
    QCOMPARE(result.has_value(), ok); // a cancelled query is no answer, not an empty one
    QCOMPARE(ToQt(result.value_or("")), answer);
}

void TDialogsTest::QueryPasswordAndPrompt() {
    TQueryForm secret(QStringLiteral("Login"), QStringLiteral("Password"), QString(), true,
                      nullptr);
    QCOMPARE(secret.Edit()->echoMode(), QLineEdit::Password);
    QCOMPARE(secret.PromptLabel()->text(), QStringLiteral("Password:"));
    QCOMPARE(secret.windowTitle(), QStringLiteral("Login"));

    TQueryForm open(QStringLiteral("Q"), QStringLiteral("minutes:"), QStringLiteral("5"), false,
                    nullptr);
    QCOMPARE(open.Edit()->echoMode(), QLineEdit::Normal);
    QCOMPARE(open.PromptLabel()->text(), QStringLiteral("minutes:"));
}

void TDialogsTest::ModelessPopupClosesAfterItsTime() {
    TQtUiServices ui;
    TPopupRequest request;
    request.Caption = "Information";
    request.Text = "Done";
    request.DisplayMs = 300;
    request.Modeless = true;
    ui.ShowPopup(request);
    QPointer<TQuickMessage> popup = ui.CurrentPopup();
    QVERIFY(popup);
    QVERIFY(popup->isVisible());
    QTest::qWait(100);
    QVERIFY(popup && popup->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(popup.isNull(), 3000);
}

void TDialogsTest::ModalPopupStaysUntilClicked() {
    TQtUiServices ui;
    TPopupRequest request;
    request.Caption = "Warning:";
    request.Text = "Error: Saving failed";
    request.DisplayMs = 100;
    request.Modeless = false;
    bool stillUp = false;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 3000);
        auto* popup = qobject_cast<TQuickMessage*>(QApplication::activeModalWidget());
        QVERIFY(popup);
        // Far past its time, and after a self-closing pop-up came and went, the modal pop-up
        // is still there.
        TPopupRequest notice;
        notice.Caption = "Information";
        notice.DisplayMs = 100;
        ui.ShowPopup(notice);
        QTest::qWait(500);
        stillUp = popup->isVisible();
        QTest::mouseClick(popup->TextArea()->viewport(), Qt::LeftButton);
    });
    ui.ShowPopup(request);
    QVERIFY(stillUp);
    QVERIFY(!ui.CurrentPopup());
}

void TDialogsTest::PopupCloseGestures_data() {
    QTest::addColumn<QString>("gesture");
    QTest::newRow("click-text") << "click-text";
    QTest::newRow("click-caption") << "click-caption";
    QTest::newRow("enter-in-text") << "enter";
    QTest::newRow("escape-in-text") << "escape";
    QTest::newRow("close-button") << "button";
}

void TDialogsTest::PopupCloseGestures() {
    QFETCH(QString, gesture);
    TQtUiServices ui;
    TPopupRequest request;
    request.Caption = "Information";
    request.Text = "Hello";
    request.DisplayMs = 60000;
    ui.ShowPopup(request);
    QPointer<TQuickMessage> popup = ui.CurrentPopup();
    QVERIFY(popup);
    if (gesture == QLatin1String("click-text"))
        QTest::mouseClick(popup->TextArea()->viewport(), Qt::LeftButton);
    else if (gesture == QLatin1String("click-caption"))
        QTest::mouseClick(popup->CaptionArea(), Qt::LeftButton);
    else if (gesture == QLatin1String("enter"))
        QTest::keyClick(popup->TextArea(), Qt::Key_Return);
    else if (gesture == QLatin1String("escape"))
        QTest::keyClick(popup->TextArea(), Qt::Key_Escape);
    else
        popup->CloseButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(popup.isNull(), 2000);
}

void TDialogsTest::PopupForms() {
    TDialogTexts texts;
    TPopupRequest request;
    request.Caption = "Warning:";
    request.Text = "Disk full\r\nTry again";
    request.TextSize = 13;
    TQuickMessage small(request, texts, nullptr);
    QCOMPARE(small.windowTitle(), QStringLiteral("Pelmora v.3.0.5: Warning:"));
    QCOMPARE(small.Text(), QStringLiteral("Disk full\nTry again"));
    QCOMPARE(small.TextArea()->font().pointSize(), 13);
    QVERIFY(small.TextArea()->isReadOnly());
    QVERIFY(!small.ShowsLogo());
    QCOMPARE(small.TextArea()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QVERIFY(small.AnimationArea()->isHidden());
    QCOMPARE(small.TextArea()->toolTip(), texts.ClickToClose);

    request.Large = true;
    request.Animation = TPopupAnimation::CopyFiles;
    TQuickMessage large(request, texts, nullptr);
    QCOMPARE(large.width() - small.width(), TQuickMessage::kLargeExtraWidth);
    QCOMPARE(large.height() - small.height(), TQuickMessage::kLargeExtraHeight);
    QCOMPARE(large.TextArea()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    QVERIFY(!large.AnimationArea()->isHidden());

    request.Large = false;
    request.Caption = "Welcome to Pelmora v.3.0.5";
    TQuickMessage logo(request, texts, nullptr);
    QVERIFY(logo.ShowsLogo());
    QVERIFY(logo.CaptionArea()->isHidden());
}

void TDialogsTest::NewPopupReplacesShowingOne() {
    TQtUiServices ui;
    TPopupRequest request;
    request.Caption = "One";
    request.DisplayMs = 60000;
    ui.ShowPopup(request);
    QPointer<TQuickMessage> first = ui.CurrentPopup();
    request.Caption = "Two";
    ui.ShowPopup(request);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 2000);
    QVERIFY(ui.CurrentPopup());
    QCOMPARE(ui.CurrentPopup()->windowTitle(), QStringLiteral("Pelmora v.3.0.5: Two"));
    ui.ClosePopup();
    QVERIFY(!ui.CurrentPopup());
}

void TDialogsTest::EditInPopupCopiesEveryChange() {
    TQtUiServices ui;
    std::string source = "<p>old</p>";
    std::string seenWhileOpen;
    bool escapeClosed = true;
    WhenModal([&](QWidget* modal) {
        auto* popup = qobject_cast<TQuickMessage*>(modal);
        QVERIFY(popup);
        QVERIFY(popup->IsEditable());
        QCOMPARE(popup->windowTitle(), QStringLiteral("Edit HTML: Message"));
        QTest::mouseClick(popup->TextArea()->viewport(), Qt::LeftButton);
        QTest::keyClick(popup->TextArea(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(popup->TextArea(), "x");
        seenWhileOpen = source;
        QTest::keyClick(popup->TextArea(), Qt::Key_Return);
        QTest::keyClick(popup->TextArea(), Qt::Key_Escape);
        escapeClosed = !popup->isVisible();
        popup->CloseButton()->click();
    });
    ui.EditInPopup("Message", source);
    QCOMPARE(ToQt(seenWhileOpen), QStringLiteral("<p>old</p>x"));
    QCOMPARE(ToQt(source), QStringLiteral("<p>old</p>x\n"));
    QVERIFY(!escapeClosed);
}

void TDialogsTest::SoundsThatCannotPlay_data() {
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("not-a-sound") << QByteArray("RIFF\x04\x00\x00\x00junk and more junk");
}

void TDialogsTest::SoundsThatCannotPlay() {
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("attention.wav"));
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    TQtUiServices ui;
    QVERIFY(!ui.PlaySoundFile(FromQt(path)));
    QVERIFY(!ui.PlaySoundFile(""));
}

QTEST_MAIN(TDialogsTest)
#include "dialogs_test.moc"
