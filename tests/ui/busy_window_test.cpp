// The main window follows the workspace's busy state: while a message command runs the list,
// its menu and keys, the buttons and the trees are off; while a transfer run lasts only the
// items that would start another command are off; afterwards everything is as before.

#include "shell/shell_state.h"
#include "store/workspace.h"
#include "ui/main_form.h"
#include "ui/message_list_menu.h"
#include "ui/qt_ui_services.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

using namespace pelmora;

class TBusyWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void MessageCommandLocksListTreesAndCommands();
    void TransferRunLeavesTheListToBrowse();

private:
    bool Enabled(const char* action) const {
        QAction* item = Form->Action(QString::fromLatin1(action));
        if (!item)
            item = Form->MailMenu()->Item(QString::fromLatin1(action));
        return item && item->isEnabled();
    }

    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TQtUiServices> Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Work;
    std::unique_ptr<TMainForm> Form;
};

void TBusyWindowTest::init() {
    Home = std::make_unique<QTemporaryDir>();
    QVERIFY(Home->isValid());
    Ui = std::make_unique<TQtUiServices>();
    TShellOptions options;
    options.ProgramDir = FromQt(Home->path()) + "/";
    options.ChangeWorkingDirectory = false;
    Shell = std::make_unique<TShell>(options, *Ui);
    Work = std::make_unique<TWorkspace>(*Shell);
    Form = std::make_unique<TMainForm>(*Shell, *Work, *Ui);
    QVERIFY(Form->FormCreate().Ok);
}

void TBusyWindowTest::cleanup() {
    Form.reset();
    Work.reset();
    Shell.reset();
    Ui.reset();
    Home.reset();
}

void TBusyWindowTest::MessageCommandLocksListTreesAndCommands() {
    QVERIFY(Enabled("MMenuDeleteMessage"));
    QVERIFY(Enabled("MenuSendReceiveforAll"));
    QVERIFY(Enabled("MenuAddAccount"));
    QVERIFY(Work->BeginCommand(TCommandKind::Message, "Move"));
    QVERIFY(!Form->MessageList()->isEnabled());
    QVERIFY(!Form->FolderTree()->isEnabled());
    QVERIFY(!Form->ProjectTree()->isEnabled());
    for (const char* item : {"MMenuDeleteMessage", "MMenuToggleReadUnread", "MMenuCopyMessage",
                             "MenuSendReceiveforAll", "MenuAddAccount", "PMEmptyTrash"})
        QVERIFY2(!Enabled(item), item);
    Work->EndCommand();
    QVERIFY(Form->MessageList()->isEnabled());
    QVERIFY(Form->FolderTree()->isEnabled());
    for (const char* item : {"MMenuDeleteMessage", "MMenuToggleReadUnread", "MMenuCopyMessage",
                             "MenuSendReceiveforAll", "MenuAddAccount", "PMEmptyTrash"})
        QVERIFY2(Enabled(item), item);
}

void TBusyWindowTest::TransferRunLeavesTheListToBrowse() {
    // An item that was off before the command stays off after it.
    Form->Action(QStringLiteral("MenuSortAccounts"))->setEnabled(false);
    QVERIFY(Work->BeginCommand(TCommandKind::Transfer, "Mail transfer"));
    QVERIFY(Form->MessageList()->isEnabled());
    QVERIFY(Form->ProjectTree()->isEnabled());
    QVERIFY(Enabled("MenuSendReceiveforAll")); // brings the progress window forward
    QVERIFY(!Enabled("MMenuDeleteMessage"));
    QVERIFY(!Enabled("MenuAddNewProject"));
    Work->EndCommand();
    QVERIFY(Enabled("MMenuDeleteMessage"));
    QVERIFY(Enabled("MenuAddNewProject"));
    QVERIFY(!Enabled("MenuSortAccounts"));
}

QTEST_MAIN(TBusyWindowTest)
#include "busy_window_test.moc"
