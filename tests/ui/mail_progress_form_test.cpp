// The transfer progress window following a scripted progress state: lines, gauges, counters
// and their colours, the button's two roles and the check boxes written back into the state.

#include "processing/transfer_run.h"
#include "shell/shell_state.h"
#include "store/workspace.h"
#include "ui/mail_progress_form.h"
#include "ui/qt_ui_services.h"
#include "ui/text_convert.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pelmora;

namespace {

struct TFixture {
    QTemporaryDir Home;
    TQtUiServices Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Work;
    std::unique_ptr<TTransferRun> Run;

    bool Create() {
        TShellOptions options;
        options.ProgramDir = FromQt(Home.path()) + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        if (!Shell->FormCreate().Ok)
            return false;
        Work = std::make_unique<TWorkspace>(*Shell);
        Run = std::make_unique<TTransferRun>(*Work);
        return true;
    }
    // A window attached to the run as an attended run attaches it.
    TMailProgressForm* Window() {
        auto* form = new TMailProgressForm(*Run, TransferProgressCaptions(Shell->Texts()), nullptr);
        form->setAttribute(Qt::WA_DeleteOnClose);
        Run->ProgressWindowExists = true;
        Run->Progress.Observer = form;
        Run->Progress.Reset("Abort!", false, false);
        form->show();
        return form;
    }
};

} // namespace

class TMailProgressFormTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void FollowsTheState();
    void CheckBoxesGoBackIntoTheState();
    void AbortThenCloseAfterTheEnd();
};

void TMailProgressFormTest::FollowsTheState() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QPointer<TMailProgressForm> form = fixture.Window();
    TTransferProgressState& state = fixture.Run->Progress;

    state.SetAccount("Default Account");
    state.SetAction("Retrieving message 2 of 4");
    state.Overall.Maximum = 4;
    TTransferProgressState::Advance(state.Overall, 2);
    // Bytes beyond what an int holds still give the right share.
    state.Message.Maximum = 6'000'000'000;
    TTransferProgressState::Advance(state.Message, 1'500'000'000);
    state.Counters.Waiting = 2;
    state.Counters.Downloaded = 2;
    state.Counters.BytesIn = 6'000'000'000;
    state.Counters.Blocked = 1;
    state.BlockedRed = true;
    state.Changed();

    QCOMPARE(form->AccountLabel->text(), QStringLiteral("Default Account"));
    QCOMPARE(form->ActionLabel->text(), QStringLiteral("Retrieving message 2 of 4"));
    QCOMPARE(form->OverallGauge->value(), 500);
    QCOMPARE(form->MessageGauge->value(), 250);
    QCOMPARE(form->Counters[TMailProgressForm::Waiting]->text(), QStringLiteral("2"));
    QCOMPARE(form->Counters[TMailProgressForm::BytesIn]->text(), QStringLiteral("6000000000"));
    QVERIFY(
        form->Counters[TMailProgressForm::Blocked]->styleSheet().contains(QStringLiteral("color")));
    QVERIFY(form->Counters[TMailProgressForm::Refused]->styleSheet().isEmpty());
    QVERIFY(form->ActionLabel->styleSheet().isEmpty());
    QCOMPARE(form->Button->text(), QStringLiteral("Abort!"));

    // The end of a run with failures: red action line, "Close".
    state.ActionLine = "1 errors";
    state.ActionRed = true;
    state.ButtonCaption = "Close";
    state.Finished = true;
    state.Changed();
    QVERIFY(form->ActionLabel->styleSheet().contains(QStringLiteral("color")));
    QCOMPARE(form->Button->text(), QStringLiteral("Close"));
    delete form;
    QVERIFY(!fixture.Run->Progress.Observer);
}

void TMailProgressFormTest::CheckBoxesGoBackIntoTheState() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QPointer<TMailProgressForm> form = fixture.Window();
    TTransferProgressState& state = fixture.Run->Progress;
    state.Changed();
    QVERIFY(form->ShowLogBox->isEnabled());
    form->ShowLogBox->click();
    QVERIFY(state.ShowLogAfterClose);
    // "Close this window when done" rules out showing the log afterwards.
    form->CloseOnReadyBox->click();
    QVERIFY(state.CloseOnReady);
    QVERIFY(!form->ShowLogBox->isEnabled());
    form->CloseOnReadyBox->click();
    QVERIFY(!state.CloseOnReady);
    QVERIFY(form->ShowLogBox->isEnabled());
    delete form;
}

void TMailProgressFormTest::AbortThenCloseAfterTheEnd() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TTransferProgressState& state = fixture.Run->Progress;

    // "Abort!" while the run lasts: the run is told and lets go of the window.
    QPointer<TMailProgressForm> form = fixture.Window();
    state.Changed();
    fixture.Shell->TransferRunning = true;
    QTest::mouseClick(form->Button, Qt::LeftButton);
    QVERIFY(fixture.Run->AbortTransfer);
    QVERIFY(!state.Observer);
    QTRY_VERIFY(!form);
    fixture.Shell->TransferRunning = false;
    fixture.Run->AbortTransfer = false;

    // "Close" after a finished run with "Show Connection LogFile" ticked shows the log.
    form = fixture.Window();
    bool logShown = false;
    form->OnShowLog = [&logShown] { logShown = true; };
    state.ShowLogAfterClose = true;
    state.Finished = true;
    state.ButtonCaption = "Close";
    state.Changed();
    QTest::mouseClick(form->Button, Qt::LeftButton);
    QTRY_VERIFY(!form);
    QVERIFY(logShown);
    QVERIFY(!fixture.Run->AbortTransfer);
}

QTEST_MAIN(TMailProgressFormTest)
#include "mail_progress_form_test.moc"
