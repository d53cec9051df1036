// The main window on a fresh data home: its menus as the user sees them, the settings and
// display commands, the window list, the close steps and the recovery from stray errors.

#include "shell/settings.h"
#include "shell/shell_state.h"
#include "ui/legenda_form.h"
#include "ui/main_form.h"
#include "ui/models/message_list_model.h"
#include "ui/pelmora_application.h"
#include "ui/qt_ui_services.h"
#include "ui/quick_message.h"
#include "ui/splash_screen.h"
#include "ui/text_convert.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <memory>
#include <stdexcept>

using namespace pelmora;

namespace {

// A main window over its own data home.
struct TFixture {
    QTemporaryDir Home;
    TQtUiServices Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Work;
    std::unique_ptr<TMainForm> Form;

    std::string HomeDir() const { return FromQt(Home.path()) + "/"; }

    bool Create() {
        TShellOptions options;
        options.ProgramDir = HomeDir();
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        Work = std::make_unique<TWorkspace>(*Shell);
        Form = std::make_unique<TMainForm>(*Shell, *Work, Ui);
        return Form->FormCreate().Ok;
    }
};

// The items of a menu by component name, "|" for a separator.
QStringList Layout(const QMenu* menu) {
    QStringList items;
    for (const QAction* action : menu->actions())
        items << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
    return items;
}

QStringList Split(const char* text) {
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TMainFormTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void MenusHoldEveryItemInOrder_data();
    void MenusHoldEveryItemInOrder();
    void CaptionsAndKeys_data();
    void CaptionsAndKeys();
    void WindowAndPanels();
    void ToggleIsWrittenAtClose();
    void ActivePickupAsksForMinutes();
    void FontCommandsResizeTheViews();
    void EscapeRequestsAbort();
    void OpenWindowsRefuseClose();
    void RecoverFromStrayError();
    void MessageListModelIsSound();
    void TreesShowAndEditTheWorkspace();
    void UncreatableDataHomeEndsWith99();
    void SplashHidesOnlyAfterStartUp();
    void BusyAnimationRunsWhileAsked();
    void RestorePanelsBringsBackDefaults();
    void LegendShowsEveryPicture();
};

void TMainFormTest::MenusHoldEveryItemInOrder_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("File") << "MenuFile" << Split("MenuPrint | MenuExit");
    QTest::newRow("Display") << "MenuDisplay"
                             << Split("MenuShowAddressBook MenuShowBlackList | MenuShowlastMailLog "
                                      "MenuShowLogFile MenuPurgeMailLogFile | MenuBiggerfont "
                                      "MenuSmallerFont | ProjectTreeBiggerFont "
                                      "ProjectTreeSmallerFont | MessageListBiggerFont "
                                      "MessageListSmallerFont | MenuRestoreFont");
    QTest::newRow("Settings") << "MenuSettings"
                              << Split("MenuComposeHTML MenuComposePLain MenuAutoAddAddrbook "
                                       "MenuAutoAddProjAddrbook | MenuAutorun "
                                       "MenuStopplayingsillysounds | MenuActivepickup "
                                       "MenuShowNewMailPopUp | MenuAutoConnect MenuAutoDisconnect "
                                       "| MenuMailStorageFolder MenuTempStorageFolder "
                                       "MenuShowPorjectNumbers | MenuRestorePanels");
    QTest::newRow("Accounts") << "MenuAccounts"
                              << Split("MenuAddAccount MenuDefineMailFilterRules | "
                                       "MenuDeleteCurrentAccount | MenuSortProjects "
                                       "MenuSortAccounts");
    QTest::newRow("Answering") << "MenuAnsweringMachine"
                               << Split("MenuAMSettings | MenuAMALLON MenuAMALLOFF MenuAMnormal");
    QTest::newRow("Projects") << "MenuProjects"
                              << Split("MenuAddNewProject MenuDeleteProject | MenuAddCusomtFolder "
                                       "MenuRenameCustomFolder MenuDeleteCustomFolder | "
                                       "MenuProjectAddressBook");
    QTest::newRow("ProjectAddressBook")
        << "MenuProjectAddressBook"
        << Split("MenuAddAddressFromMain MenuAddManually MenuEditAddress MenuUpdatewithMain "
                 "ShowAddressBook1 | MenuRemoveProjectAddress");
    QTest::newRow("Archive") << "MenuArchive"
                             << Split("MenuBackupSelectedproject MenuBackupAllProjects "
                                      "MenuBackupSelectedMessages MenuImportBackup | "
                                      "MenuDeleteBackup | MenuFindMessagesinBackups "
                                      "MenuFindMessagesArchive");
    QTest::newRow("MailCommands")
        << "MenuMailCommands"
        << Split("MenuSendReceiveforAll | MenuSendRetrieveMailforSelected MenuRetrieveMailforAll "
                 "MenuRetrieveMailforSelected MenuSendMailforAllAccounts "
                 "MenuSendMailforSelectedAccount | MenuShowTransfer | MenuFindSenderorSubject "
                 "MenuSearchinall MenuSearchAgain");
    QTest::newRow("View") << "MenuView" << Split("MenuCloseALLwindows MenuCasdadeAllWindows |");
    QTest::newRow("Help") << "MenuHelp"
                          << Split("HelpfileMenu MenuWebsite menuCredits | MenuLegenda");
}

void TMainFormTest::MenusHoldEveryItemInOrder() {
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    TFixture fixture;
    QVERIFY(fixture.Create());
    QMenu* shown = fixture.Form->Menu(menu);
    QVERIFY2(shown, qPrintable(menu));
    QCOMPARE(Layout(shown), items);
}

void TMainFormTest::CaptionsAndKeys_data() {
    QTest::addColumn<QString>("component");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("File") << "MenuFile"
                          << "File" << QKeySequence() << true;
    QTest::newRow("Accounts") << "MenuAccounts"
                              << "&Accounts" << QKeySequence() << true;
    QTest::newRow("View") << "MenuView"
                          << "Show" << QKeySequence() << true;
    QTest::newRow("Print") << "MenuPrint"
                           << "Print" << QKeySequence(Qt::CTRL | Qt::Key_P) << false;
    QTest::newRow("Exit") << "MenuExit"
                          << "&Close" << QKeySequence() << true;
    QTest::newRow("BiggerFont") << "MenuBiggerfont"
                                << "Accounts Tree: Bigger Font" << QKeySequence() << true;
    QTest::newRow("ListSmaller") << "MessageListSmallerFont"
                                 << "Messages List: Smaller Font" << QKeySequence() << true;
    QTest::newRow("ActivePickup") << "MenuActivepickup"
                                  << "Auto Retrieve+Send mail every 30 minutes" << QKeySequence()
                                  << true;
    QTest::newRow("StorageFolder")
        << "MenuMailStorageFolder"
        << "Advanced:  Define Mail Storage Folder" << QKeySequence() << true;
    QTest::newRow("RestorePanels")
        << "MenuRestorePanels"
        << "Restore all default Display, Menu + Warning Settings" << QKeySequence() << true;
    QTest::newRow("SortProjects") << "MenuSortProjects"
                                  << "Alphabetically Sort Projects" << QKeySequence() << true;
    QTest::newRow("AMSettings") << "MenuAMSettings"
                                << "Settings" << QKeySequence() << false;
    QTest::newRow("AMNormal") << "MenuAMnormal"
                              << "Normal" << QKeySequence() << true;
    QTest::newRow("ShowAddressBook1") << "ShowAddressBook1"
                                      << "ShowAddressBook" << QKeySequence() << false;
    QTest::newRow("SendReceive") << "MenuSendReceiveforAll"
                                 << "Retrieve+Send Mail for All Accounts"
                                 << QKeySequence(Qt::Key_F8) << true;
    QTest::newRow("FindSender") << "MenuFindSenderorSubject"
                                << "Find Address or Subject" << QKeySequence(Qt::CTRL | Qt::Key_F)
                                << false;
    QTest::newRow("SearchAll") << "MenuSearchinall"
                               << "Search All Messages-texts (slow!)"
                               << QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S) << false;
    QTest::newRow("SearchAgain") << "MenuSearchAgain"
                                 << "Search Again" << QKeySequence(Qt::Key_F3) << false;
    QTest::newRow("CloseAll") << "MenuCloseALLwindows"
                              << "CLOSE all open windows!" << QKeySequence() << false;
    QTest::newRow("Cascade") << "MenuCasdadeAllWindows"
                             << "Show all open windows" << QKeySequence() << false;
    QTest::newRow("Help") << "HelpfileMenu"
                          << "Help" << QKeySequence(Qt::Key_F1) << true;
    QTest::newRow("Legenda") << "MenuLegenda"
                             << "Legenda" << QKeySequence() << true;
    QTest::newRow("AccountPopup") << "FMSendandRetrieve"
                                  << "Retrieve+Send Mail for this Account" << QKeySequence()
                                  << true;
    QTest::newRow("ProjectPopup") << "PMEmptyTrash"
                                  << "Empty Trash" << QKeySequence() << true;
}

void TMainFormTest::CaptionsAndKeys() {
    QFETCH(QString, component);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, keys);
    QFETCH(bool, enabled);
    TFixture fixture;
    QVERIFY(fixture.Create());
    if (QMenu* menu = fixture.Form->Menu(component)) {
        QCOMPARE(menu->title(), caption);
        return;
    }
    QAction* action = fixture.Form->Action(component);
    QVERIFY2(action, qPrintable(component));
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), keys);
    QCOMPARE(action->isEnabled(), enabled);
}

void TMainFormTest::WindowAndPanels() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Pelmora by Sorvath"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // The stored width (the splitter may share out a pixel of the window's first layout).
    QVERIFY(qAbs(form.FolderTree()->parentWidget()->width() - 240) <= 2);
    // Shown, the window runs its first activation: trees usable, the default project shown.
    QTRY_VERIFY(!fixture.Shell->FirstActivation);
    QVERIFY(form.FolderTree()->isEnabled());
    QVERIFY(form.ProjectTree()->isEnabled());
    QVERIFY(!fixture.Shell->StartingUp);
    QVERIFY(form.Splash()->isHidden());
    // The stored 790 x 590 is too small for the trees and columns: the window takes what the
    // screen has up to 1200 x 800 or more, and lies entirely on it.
    const QRect room = form.screen()->availableGeometry();
    QVERIFY(room.contains(form.frameGeometry()));
    const QSize frame = form.frameGeometry().size() - form.size();
    QCOMPARE(form.width(), std::min(1200, room.width() - frame.width()));
    QCOMPARE(form.height(), std::min(800, room.height() - frame.height()));
    auto* model = form.MessageListModel();
    QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("S"));
    // The default project's inbox is listed: column 2 names the sender's address.
    QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("From Address"));
    QCOMPARE(model->headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Bytes"));
    QCOMPARE(form.MessageList()->header()->sectionSize(1), 100);
    QToolButton* reply = form.MessageButton(QStringLiteral("ReplyMailBut"));
    QVERIFY(reply);
    QCOMPARE(reply->text(), QStringLiteral("Reply"));
    QVERIFY(!reply->isEnabled());
    // The first animation frame is on show, from the frames put into the skin directory.
    QVERIFY(!form.AnimationPicture()->pixmap().isNull());
    QVERIFY(QFileInfo::exists(fixture.Home.filePath(QStringLiteral("Skin/procanim14.bmp"))));
    // Status texts of the core reach the window's status bars.
    fixture.Ui.SetStatusText(TStatusBar::Folder, "Retrieve+Send Mail for All Accounts");
    QCOMPARE(form.FolderStatus()->currentMessage(),
             QStringLiteral("Retrieve+Send Mail for All Accounts"));
}

void TMainFormTest::ToggleIsWrittenAtClose() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    QAction* connect = form.Action(QStringLiteral("MenuAutoConnect"));
    QAction* disconnect = form.Action(QStringLiteral("MenuAutoDisconnect"));
    QAction* plain = form.Action(QStringLiteral("MenuComposePLain"));
    QAction* html = form.Action(QStringLiteral("MenuComposeHTML"));
    QAction* allOn = form.Action(QStringLiteral("MenuAMALLON"));
    QVERIFY(!connect->isChecked());
    QVERIFY(html->isChecked());
    // Compose HTML is ignored while starting up; plain text is not.
    fixture.Shell->StartingUp = false;
    connect->trigger();
    QVERIFY(connect->isChecked());
    QVERIFY(disconnect->isChecked()); // dialling in implies hanging up afterwards
    plain->trigger();
    QVERIFY(plain->isChecked());
    QVERIFY(!html->isChecked());
    allOn->trigger();
    QVERIFY(allOn->isChecked());
    QVERIFY(!form.Action(QStringLiteral("MenuAMnormal"))->isChecked());

    QVERIFY(form.close());
    TSettings written(fixture.HomeDir());
    QVERIFY(written.GetBool(TSettingKey::AutoConnect));
    QVERIFY(written.GetBool(TSettingKey::AutoDisconnect));
    QVERIFY(!written.GetBool(TSettingKey::ComposeHTML));
    QVERIFY(written.GetBool(TSettingKey::AMALLON));
    QVERIFY(!written.GetBool(TSettingKey::AMNormal));
    QVERIFY(written.GetBool(TSettingKey::NotFirstTime));
    QCOMPARE(written.GetInt(TSettingKey::FolderTreeWidth), 240);

    // A new window on the same data home shows the marks again.
    TFixture again;
    TShellOptions options;
    options.ProgramDir = fixture.HomeDir();
    options.ChangeWorkingDirectory = false;
    again.Shell = std::make_unique<TShell>(options, again.Ui);
    again.Work = std::make_unique<TWorkspace>(*again.Shell);
    again.Form = std::make_unique<TMainForm>(*again.Shell, *again.Work, again.Ui);
    QVERIFY(again.Form->FormCreate().Ok);
    QVERIFY(again.Form->Action(QStringLiteral("MenuAutoConnect"))->isChecked());
    QVERIFY(again.Form->Action(QStringLiteral("MenuComposePLain"))->isChecked());
    QVERIFY(again.Form->Action(QStringLiteral("MenuAMALLON"))->isChecked());
}

void TMainFormTest::ActivePickupAsksForMinutes() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    QAction* pickup = form.Action(QStringLiteral("MenuActivepickup"));
    QTimer::singleShot(0, [] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 3000);
        QWidget* query = QApplication::activeModalWidget();
        auto* field = query->findChild<QLineEdit*>();
        QVERIFY(field);
        field->setText(QStringLiteral(" 5 "));
        QTest::keyClick(field, Qt::Key_Return);
    });
    pickup->trigger();
    QVERIFY(pickup->isChecked());
    QCOMPARE(pickup->text(), QStringLiteral("Auto Retrieve+Send mail every 5 minutes"));
    QVERIFY(form.CollectMailTimer()->isActive());
    QCOMPARE(form.CollectMailTimer()->interval(), 5 * 60000);
    pickup->trigger(); // unchecking asks nothing and stops the timer
    QVERIFY(!pickup->isChecked());
    QVERIFY(!form.CollectMailTimer()->isActive());
}

void TMainFormTest::FontCommandsResizeTheViews() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    // The default size is the desktop's; the commands count points from there.
    const int desktop = QApplication::font(form.MessageList()).pointSize();
    QVERIFY(desktop > 0);
    QCOMPARE(form.MessageList()->font().pointSize(), desktop);
    form.Action(QStringLiteral("MessageListBiggerFont"))->trigger();
    form.Action(QStringLiteral("MessageListBiggerFont"))->trigger();
    form.Action(QStringLiteral("ProjectTreeSmallerFont"))->trigger();
    QCOMPARE(form.MessageList()->font().pointSize(), desktop + 2);
    QCOMPARE(form.ProjectTree()->font().pointSize(), desktop - 1);
    QCOMPARE(form.FolderTree()->font().pointSize(), desktop);
    form.Action(QStringLiteral("MenuRestoreFont"))->trigger();
    QCOMPARE(form.MessageList()->font().pointSize(), desktop);
    QCOMPARE(form.ProjectTree()->font().pointSize(), desktop);
}

void TMainFormTest::EscapeRequestsAbort() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    fixture.Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(fixture.Form.get()));
    fixture.Form->activateWindow();
    QWidget* list = fixture.Form->MessageList();
    // Nothing runs: nothing to stop, and no abort left behind for the next command.
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!fixture.Shell->AbortRequested);
    fixture.Shell->TransferRunning = true; // a run to stop
    // The release of an Esc that went down in another window (closing a pop-up) is not one.
    QWidget other;
    QTest::keyPress(&other, Qt::Key_Escape);
    QTest::keyRelease(list, Qt::Key_Escape);
    QVERIFY(!fixture.Shell->AbortRequested);
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(fixture.Shell->AbortRequested);
    fixture.Shell->TransferRunning = false;
}

void TMainFormTest::OpenWindowsRefuseClose() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    auto* compose = new QWidget;
    compose->setWindowTitle(QStringLiteral("Re: offer"));
    compose->setAttribute(Qt::WA_DeleteOnClose);
    form.AddWindowItem(compose);
    QMenu* view = form.Menu(QStringLiteral("MenuView"));
    QCOMPARE(view->actions().size(), 4);
    QCOMPARE(view->actions().last()->text(), QStringLiteral("Re: offer"));
    QVERIFY(form.Action(QStringLiteral("MenuCasdadeAllWindows"))->isEnabled());

    QVERIFY(!form.close());
    QVERIFY(compose->isVisible()); // brought to the front instead
    QVERIFY(!fixture.Shell->Closing);

    bool closeAllRequested = false;
    QObject::connect(&form, &TMainForm::CloseAllWindows, compose, [&] {
        closeAllRequested = true;
        compose->close();
    });
    form.Action(QStringLiteral("MenuCloseALLwindows"))->trigger();
    QVERIFY(closeAllRequested);
    QTRY_COMPARE(view->actions().size(), 3);
    QVERIFY(!form.Action(QStringLiteral("MenuCloseALLwindows"))->isEnabled());
    QVERIFY(form.close());
    QVERIFY(fixture.Shell->Closing);
}

namespace {

class TThrowingWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void mousePressEvent(QMouseEvent*) override { throw std::runtime_error("stray"); }
};

} // namespace

void TMainFormTest::RecoverFromStrayError() {
    auto* app = qobject_cast<TPelmoraApplication*>(QCoreApplication::instance());
    QVERIFY(app);
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    app->SetRecoveryHandler([&form] { form.RecoverFromError(); });
    form.MessageList()->setEnabled(false);
    form.FolderTree()->setEnabled(false);
    form.ProjectTree()->setUpdatesEnabled(false);
    fixture.Shell->Animation().Start();

    TThrowingWidget thrower;
    thrower.show();
    const int before = app->RecoveredErrors();
    QTest::mouseClick(&thrower, Qt::LeftButton);
    QCOMPARE(app->RecoveredErrors(), before + 1);
    QVERIFY(form.MessageList()->isEnabled());
    QVERIFY(form.FolderTree()->isEnabled());
    QVERIFY(form.ProjectTree()->updatesEnabled());
    QVERIFY(!fixture.Shell->Animation().Running());
    QVERIFY(form.Splash()->isHidden());
    app->SetRecoveryHandler(nullptr);
}

void TMainFormTest::MessageListModelIsSound() {
    TMessageListModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetHeadings({"S", "Date", "Sender", "Subject", "Bytes", ""});
    QVector<TMessageRow> rows;
    rows.append({QStringLiteral("    2-1</tmp/a/_112.eml>"),
                 2,
                 -1,
                 {"01-02-2024 10:00", "Ann (ann@example.org)", "Hello", "001234", "<id@x>"}});
    rows.append({QStringLiteral("    -13</tmp/a/113.eml>"), -1, 3, {"02-02-2024 11:00"}});
    model.SetRows(rows);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Ann (ann@example.org)"));
    QCOMPARE(model.index(1, 3).data().toString(), QString()); // missing sub-items read empty
    QCOMPARE(model.index(1, 0).data(Qt::UserRole + 1).toInt(), 3);
    model.Clear();
    QCOMPARE(model.rowCount(), 0);
}

namespace {

// The centre of a parameter of a node as the view draws it; null when not shown.
QPoint ParamCentre(TMarkupTree* view, TNode* node, const std::string& href) {
    const QRect item = view->visualRect(view->IndexOfNode(node));
    for (int x = item.left(); x < item.right(); ++x) {
        QRect area;
        if (view->ParamAt(QPoint(x, item.center().y()), &area) == href)
            return area.center();
    }
    return {};
}

} // namespace

void TMainFormTest::TreesShowAndEditTheWorkspace() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.FormActivate();

    // A fresh data home: the default account with its default project, shown at activation.
    TMarkupTree* accounts = form.FolderTree();
    QCOMPARE(accounts->model()->rowCount(), 1);
    QVERIFY(accounts->model()->index(0, 0).data().toString().trimmed().startsWith(
        QStringLiteral("Default Account")));
    QCOMPARE(fixture.Shell->CurrentProject, 100000);
    QVERIFY(form.ProjectTree()->model()->rowCount() >= 7);
    QVERIFY(accounts->CurrentNode());
    QCOMPARE(accounts->CurrentNode(), fixture.Work->AccountTree.Selected());

    // A click on an account parameter goes through the workspace and changes the tree.
    TNode* schedule = fixture.Work->AccountTree.FindFirst(
        [](const TNode& node) { return node.Text().find("ScheduleMail") != std::string::npos; });
    QVERIFY(schedule);
    for (TNode* up = schedule->Parent(); up; up = up->Parent())
        accounts->expand(accounts->IndexOfNode(up));
    accounts->scrollTo(accounts->IndexOfNode(schedule));
    const std::string before = schedule->Text();
    QVERIFY(before.find(">Yes<") != std::string::npos);
    const QPoint at = ParamCentre(accounts, schedule, "ScheduleMail");
    QVERIFY(!at.isNull());
    QTest::mouseClick(accounts->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(schedule->Text().find(">No<") != std::string::npos);
    QVERIFY(fixture.Shell->AccountTreeChanged);

    // Saved at close and found again by the next start.
    QVERIFY(form.close());
    TFixture again;
    TShellOptions options;
    options.ProgramDir = fixture.HomeDir();
    options.ChangeWorkingDirectory = false;
    again.Shell = std::make_unique<TShell>(options, again.Ui);
    again.Work = std::make_unique<TWorkspace>(*again.Shell);
    again.Form = std::make_unique<TMainForm>(*again.Shell, *again.Work, again.Ui);
    QVERIFY(again.Form->FormCreate().Ok);
    QVERIFY(again.Work->AccountTree.FindFirst([](const TNode& node) {
        return node.Text().find("ScheduleMail\">No<") != std::string::npos;
    }));
}

void TMainFormTest::UncreatableDataHomeEndsWith99() {
    QTemporaryDir scratch;
    QFile blocker(scratch.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TQtUiServices ui;
    TShellOptions options;
    options.ProgramDir = FromQt(blocker.fileName()) + "/home/"; // below a plain file
    options.ChangeWorkingDirectory = false;
    TShell shell(options, ui);
    TWorkspace workspace(shell);
    TMainForm form(shell, workspace, ui);
    QString shown;
    QTimer::singleShot(0, [&shown] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 3000);
        auto* popup = qobject_cast<TQuickMessage*>(QApplication::activeModalWidget());
        QVERIFY(popup);
        shown = popup->Text();
        popup->CloseButton()->click();
    });
    const TCreateResult result = form.FormCreate();
    QVERIFY(!result.Ok);
    QCOMPARE(result.ExitCode, 99);
    QVERIFY(
        shown.startsWith(QStringLiteral("Error: Creating Project-directory Failed! Disk full?!")));
    QVERIFY(shown.contains(QStringLiteral("/home/")));
}

void TMainFormTest::SplashHidesOnlyAfterStartUp() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TSplashScreen* splash = fixture.Form->Splash();
    QVERIFY(splash->isVisible()); // shown while the window is created
    QVERIFY(fixture.Shell->StartingUp);
    QTest::mouseClick(splash, Qt::LeftButton);
    QVERIFY(splash->isVisible());
    splash->close();
    QVERIFY(splash->isHidden()); // closing only hides
    splash->ShowPicture(false);
    fixture.Shell->StartingUp = false;
    QTest::mouseClick(splash, Qt::LeftButton);
    QVERIFY(splash->isHidden());
}

void TMainFormTest::BusyAnimationRunsWhileAsked() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TBusyAnimation& animation = fixture.Shell->Animation();
    QVERIFY(fixture.Form->AnimatorTimer()->isActive());
    QCOMPARE(fixture.Form->AnimatorTimer()->interval(), 200);
    const int still = animation.Frame();
    QTest::qWait(450);
    QCOMPARE(animation.Frame(), still); // not running: no frames shown
    animation.Start();
    QTRY_VERIFY_WITH_TIMEOUT(animation.Frame() != still, 2000);
    const QImage shown = fixture.Form->AnimationPicture()->pixmap().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.Form->AnimationPicture()->pixmap().toImage() != shown, 2000);
    // A missing frame stops it until it is started again.
    QVERIFY(QFile::remove(fixture.Home.filePath(QStringLiteral("Skin/procanim%1.bmp"))
                              .arg((animation.Frame() + 1) % 15)));
    QTRY_VERIFY_WITH_TIMEOUT(!animation.Running(), 4000);
}

void TMainFormTest::RestorePanelsBringsBackDefaults() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.FormActivate();
    form.Action(QStringLiteral("MenuAutoConnect"))->trigger();
    form.Action(QStringLiteral("MenuAMALLOFF"))->trigger();
    form.Action(QStringLiteral("MessageListBiggerFont"))->trigger();
    form.resize(900, 700);
    QVERIFY(form.Action(QStringLiteral("MenuAutoConnect"))->isChecked());

    form.Action(QStringLiteral("MenuRestorePanels"))->trigger();
    QVERIFY(!form.Action(QStringLiteral("MenuAutoConnect"))->isChecked());
    QVERIFY(!form.Action(QStringLiteral("MenuAutoDisconnect"))->isChecked());
    QVERIFY(form.Action(QStringLiteral("MenuAMnormal"))->isChecked());
    QCOMPARE(form.MessageList()->font().pointSize(),
             QApplication::font(form.MessageList()).pointSize());
    // The restored 795 x 595 is below the smallest size: the window takes the screen's room.
    const QRect room = form.screen()->availableGeometry();
    const QSize frame = form.frameGeometry().size() - form.size();
    QCOMPARE(form.size(), QSize(std::min(1200, room.width() - frame.width()),
                                std::min(800, room.height() - frame.height())));
    QVERIFY(qAbs(form.FolderTree()->parentWidget()->width() - 234) <= 2);
    QCOMPARE(form.MessageList()->header()->sectionSize(2), 170);
    // The trees are back, with the default account.
    QCOMPARE(form.FolderTree()->model()->rowCount(), 1);
    QVERIFY(fixture.Ui.CurrentPopup()); // the notice that everything was restored
    fixture.Ui.ClosePopup();
}

void TMainFormTest::LegendShowsEveryPicture() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    int pictures = 0;
    int blank = 0;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 3000);
        auto* legend = qobject_cast<TLegendaForm*>(QApplication::activeModalWidget());
        QVERIFY(legend);
        for (const QLabel* label : legend->findChildren<QLabel*>()) {
            if (label->text().isEmpty()) {
                ++pictures;
                const QImage image = label->pixmap().toImage();
                bool painted = false;
                for (int x = 0; x < image.width() && !painted; ++x)
                    for (int y = 0; y < image.height() && !painted; ++y)
                        painted = qAlpha(image.pixel(x, y)) > 0;
                if (!painted)
                    ++blank;
            }
        }
        legend->reject();
    });
    fixture.Form->Action(QStringLiteral("MenuLegenda"))->trigger();
    QVERIFY(pictures > 0);
    QCOMPARE(blank, 0);
}

int main(int argc, char** argv) {
    TPelmoraApplication app(argc, argv);
    TMainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_form_test.moc"
