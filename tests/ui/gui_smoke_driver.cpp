// The GUI smoke run: the main window on a real X display (under xvfb-run), driven with real
// X input events from xdotool the way a new user drives it. It sets up the account by
// clicking its parameters and typing into the questions, chooses the POP3 security from the
// drop-down, retrieves the mail of a local Dovecot with F8, lists the inbox, drags a message
// onto "Removed Items", maximises the window and closes it. Every step leaves a screenshot of
// the whole screen in the directory given as the first argument; a step that does not come
// about in time ends the run with exit code 1 and says which.

#include "paramtree/markup.h"
#include "paramtree/node_tree.h"
#include "shell/shell_state.h"
#include "store/folder_listing.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "support/dovecot_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "ui/mail_progress_form.h"
#include "ui/main_form.h"
#include "ui/markup_tree.h"
#include "ui/param_editors.h"
#include "ui/qt_ui_services.h"
#include "ui/quick_message.h"
#include "ui/text_convert.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <memory>

using namespace pelmora;

namespace {

constexpr const char* kUser = "smoke";
constexpr const char* kPassword = "smoke-secret";
constexpr int kMessages = 5;

QString ShotDir;
int ShotNumber = 0;

void Say(const QString& text) {
    std::fprintf(stderr, "gui-smoke: %s\n", qPrintable(text));
}

void Shot(const QString& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QString path =
        QStringLiteral("%1/%2-%3.png").arg(ShotDir).arg(++ShotNumber, 2, 10, QLatin1Char('0')).arg(name);
    if (!screen || !screen->grabWindow(0).save(path))
        Say(QStringLiteral("could not save %1").arg(path));
    else
        Say(QStringLiteral("screenshot %1").arg(path));
}

// Runs xdotool with the given commands without waiting: the program under test may be in a
// modal loop of its own while the input arrives.
void Xdo(const QString& script) {
    QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), script});
}

QString Click(const QPoint& global) {
    return QStringLiteral("xdotool mousemove --sync %1 %2 click 1").arg(global.x()).arg(global.y());
}

bool WaitFor(const std::function<bool()>& done, int ms = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(50);
    }
    return true;
}

std::string MessageText(int i) {
    // Messages as mail programs write them.
    return "Return-Path: <ann@example.org>\r\n"
           "From: Ann Example <ann@example.org>\r\n"
           "To: Smoke Tester <smoke@example.org>\r\n"
           "Subject: Smoke message " +
           std::to_string(i) +
           "\r\n"
           "Date: Tue, 05 Mar 2024 14:0" +
           std::to_string(i) +
           ":09 +0000\r\n"
           "Message-ID: <smoke-" +
           std::to_string(i) +
           "@example.org>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n\r\n"
           "Hello, this is message " +
           std::to_string(i) + ".\r\n";
}

class TSmokeRun {
public:
    TSmokeRun(TMainForm& form, TWorkspace& work, TShell& shell)
        : Form(form), Work(work), Shell(shell) {}

    TNode* AccountParam(int code) const {
        TNode* account = Work.AccountTree.First();
        return Work.AccountTree.FindFirst([account, code](const TNode& node) {
            return NodeNumber(node.Text()) == code && AccountOf(const_cast<TNode*>(&node)) == account &&
                   node.Parent();
        });
    }

    // The screen position of a parameter of a node of the account tree.
    std::optional<QPoint> ParamPoint(TNode* node, const std::string& href) const {
        TMarkupTree* tree = Form.FolderTree();
        const QModelIndex index = tree->IndexOfNode(node);
        tree->scrollTo(index);
        QTest::qWait(50);
        const QRect row = tree->visualRect(index);
        for (int x = row.left(); x < tree->viewport()->width(); x += 2) {
            QRect area;
            if (tree->ParamAt(QPoint(x, row.center().y()), &area) == href)
                return tree->viewport()->mapToGlobal(area.center());
        }
        return std::nullopt;
    }

    bool SetText(int code, const std::string& href, const QString& value) {
        TNode* node = AccountParam(code);
        if (!node)
            return Fail(QStringLiteral("no parameter node %1").arg(code));
        const std::optional<QPoint> at = ParamPoint(node, href);
        if (!at)
            return Fail(QStringLiteral("parameter %1 not on screen").arg(ToQt(href)));
        const std::string before = node->Text();
        Xdo(Click(*at) + QStringLiteral("; sleep 0.8; xdotool key ctrl+a; xdotool type --delay 15 '%1';"
                                        " sleep 0.2; xdotool key Return")
                             .arg(value));
        if (!WaitFor([&] { return AccountParam(code) && AccountParam(code)->Text() != before; }))
            return Fail(QStringLiteral("typing into %1 changed nothing").arg(ToQt(href)));
        return true;
    }

    bool ChooseFromList(int code, const std::string& href, const QString& entry) {
        TNode* node = AccountParam(code);
        const std::optional<QPoint> at = node ? ParamPoint(node, href) : std::nullopt;
        if (!at)
            return Fail(QStringLiteral("parameter %1 not on screen").arg(ToQt(href)));
        TPopupListBox* list = Form.FolderTree()->ListBox();
        Xdo(Click(*at));
        if (!WaitFor([list] { return list->isVisible(); }, 5000))
            return Fail(QStringLiteral("the drop-down of %1 did not open").arg(ToQt(href)));
        QTest::qWait(500);
        if (!list->isVisible())
            return Fail(QStringLiteral("the drop-down of %1 closed by itself").arg(ToQt(href)));
        Shot(QStringLiteral("drop-down-open"));
        const QList<QListWidgetItem*> items = list->findItems(entry, Qt::MatchExactly);
        if (items.isEmpty())
            return Fail(QStringLiteral("no entry %1").arg(entry));
        const QPoint target = list->viewport()->mapToGlobal(list->visualItemRect(items[0]).center());
        Xdo(Click(target));
        if (!WaitFor([list] { return !list->isVisible(); }, 5000))
            return Fail(QStringLiteral("the drop-down stayed open"));
        const std::optional<std::string> value = ReadParam(AccountParam(code)->Text(), href);
        if (!value || ToQt(*value) != entry)
            return Fail(QStringLiteral("%1 is %2").arg(ToQt(href), ToQt(value.value_or("?"))));
        return true;
    }

    QPoint FolderPoint(int code) const {
        TMarkupTree* tree = Form.ProjectTree();
        TNode* node = Work.ProjectTree.FindFirst([code](const TNode& n) {
            return NodeNumber(n.Text()) == code && n.Level() <= 1;
        });
        if (!node)
            return {};
        const QRect row = tree->visualRect(tree->IndexOfNode(node));
        return tree->viewport()->mapToGlobal(QPoint(row.left() + 30, row.center().y()));
    }

    TNode* ProjectNode() const {
        return Work.AccountTree.FindFirst(
            [](const TNode& node) { return NodeNumber(node.Text()) >= kFirstDefaultProject; });
    }

    QPoint AccountTreePoint(TNode* node) const {
        TMarkupTree* tree = Form.FolderTree();
        const QModelIndex index = tree->IndexOfNode(node);
        tree->scrollTo(index);
        const QRect row = tree->visualRect(index);
        return tree->viewport()->mapToGlobal(QPoint(row.left() + 40, row.center().y()));
    }

    int FilesIn(int code) const {
        TNode* project = ProjectNode();
        const std::string dir =
            FolderPath(Shell.Dirs().Store, project ? NodeNumber(project->Text()) : -1, code);
        return static_cast<int>(
            QDir(ToQt(dir)).entryList({QStringLiteral("*.eml*")}, QDir::Files).size());
    }

    bool Fail(const QString& why) {
        Say(QStringLiteral("FAILED: %1").arg(why));
        Shot(QStringLiteral("failure"));
        Failed = true;
        return false;
    }

    TMainForm& Form;
    TWorkspace& Work;
    TShell& Shell;
    bool Failed = false;
};

// Without a window manager nobody gives a new window the keyboard; the run does, as a
// desktop would.
class TFocusGiver : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && !(widget->windowFlags() & Qt::Popup) &&
                widget->windowType() != Qt::ToolTip) {
                QTimer::singleShot(100, widget, [widget] {
                    widget->raise();
                    widget->activateWindow();
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ShotDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(ShotDir);
    TFocusGiver focus;
    app.installEventFilter(&focus);

    // The mail servers.
    testing::TTempDir caDir("pelmora-smoke-ca");
    testing::TTestCa ca(caDir.Path());
    if (!ca.Ok()) {
        Say(QStringLiteral("FAILED: no test certificate authority"));
        return 1;
    }
    const testing::TTestCertificate certificate = ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
    testing::TDovecotServer pop3;
    testing::TDovecotOptions pop3Options;
    pop3Options.CertPath = certificate.CertPath;
    pop3Options.KeyPath = certificate.KeyPath;
    pop3Options.Users.emplace_back(kUser, kPassword);
    if (!pop3.Start(pop3Options)) {
        Say(QStringLiteral("FAILED: Dovecot did not start: %1").arg(ToQt(pop3.Log())));
        return 1;
    }
    for (int i = 1; i <= kMessages; ++i)
        pop3.AddMessage(kUser, MessageText(i));
    testing::TSmtpTestServer smtp;
    if (!smtp.Start()) {
        Say(QStringLiteral("FAILED: the SMTP server did not start"));
        return 1;
    }

    // The window, on a data home of its own.
    testing::TTempDir home("pelmora-smoke-home");
    TQtUiServices ui(&app);
    TShellOptions options;
    options.ProgramDir = home.Path();
    options.ChangeWorkingDirectory = false;
    TShell shell(options, ui);
    shell.LoadMessageTexts();
    ui.SetTexts(DialogTextsFrom(shell.Texts()));
    TWorkspace work(shell);
    auto form = std::make_unique<TMainForm>(shell, work, ui);
    int ended = 0;
    form->EndProcess = [&ended] { ++ended; };
    if (!form->FormCreate().Ok) {
        Say(QStringLiteral("FAILED: the window could not be created"));
        return 1;
    }
    form->show();
    TSmokeRun run(*form, work, shell);
    if (!QTest::qWaitForWindowExposed(form.get()) ||
        !WaitFor([&] { return !shell.FirstActivation; }))
        return run.Fail(QStringLiteral("the window did not come up")), 1;
    QTest::qWait(500);
    Shot(QStringLiteral("main-window"));

    // The account, parameter by parameter.
    form->FolderTree()->expandAll();
    QTest::qWait(200);
    const QString pop3Port = QString::number(pop3.Pop3Port());
    const QString smtpPort = QString::number(smtp.Port());
    const bool account =
        run.SetText(kNodeEmailAddress, "EditAddress", QStringLiteral("smoke@example.org")) &&
        run.SetText(kNodePOP3Server, "EditPOP3", QStringLiteral("127.0.0.1")) &&
        run.SetText(kNodePOP3Login, "EditPOP3Login", QString::fromLatin1(kUser)) &&
        run.SetText(kNodePOP3Password, "EditPOP3Password", QString::fromLatin1(kPassword)) &&
        run.SetText(kNodePOP3Port, "POP3Port", pop3Port) &&
        run.ChooseFromList(kNodePOP3Security, "POP3Security", QStringLiteral("None")) &&
        run.SetText(kNodeSMTPServer, "EditSMTP", QStringLiteral("127.0.0.1")) &&
        run.SetText(kNodeSMTPPort, "SMTPPort", smtpPort);
    if (!account)
        return 1;
    Shot(QStringLiteral("account-set-up"));

    // F8, watched from a timer: the run and its last pop-up have loops of their own.
    bool progressShot = false;
    bool popupShot = false;
    bool runSeen = false; // the run happens inside a single wait of this driver
    QTimer watcher;
    watcher.setInterval(200);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        TMailProgressForm* progress = form->ProgressWindow();
        runSeen = runSeen || shell.TransferRunning;
        if (!progressShot && progress && progress->isVisible() && shell.TransferRunning) {
            progressShot = true;
            Shot(QStringLiteral("progress-running"));
        }
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* popup = qobject_cast<TQuickMessage*>(window);
            if (!popup || !popup->isVisible() || popupShot)
                continue;
            popupShot = true;
            Shot(QStringLiteral("new-mail-popup"));
            // Closed with Enter: its release must not open a Quick-View in the list.
            Xdo(QStringLiteral("sleep 0.3; xdotool key Return"));
        }
    });
    watcher.start();
    form->activateWindow();
    QTest::qWait(300);
    Xdo(QStringLiteral("xdotool key F8"));
    if (!WaitFor([&] { return runSeen; }, 10000))
        return run.Fail(QStringLiteral("F8 started no run")), 1;
    if (!WaitFor([&] { return !shell.TransferRunning; }, 60000))
        return run.Fail(QStringLiteral("the run did not end")), 1;
    QTest::qWait(1500);
    watcher.stop();
    if (run.FilesIn(kFolderInbox) != kMessages || pop3.MessageCount(kUser) != 0)
        return run.Fail(QStringLiteral("%1 messages filed, %2 left on the server")
                            .arg(run.FilesIn(kFolderInbox))
                            .arg(pop3.MessageCount(kUser))),
               1;
    if (QApplication::activeModalWidget())
        return run.Fail(QStringLiteral("a window is still open after the run")), 1;
    Shot(QStringLiteral("progress-finished"));
    if (TMailProgressForm* progress = form->ProgressWindow())
        progress->close();

    // The project, its inbox, then one message dragged onto "Removed Items".
    Xdo(Click(run.AccountTreePoint(run.ProjectNode())));
    if (!WaitFor([&] { return run.FolderPoint(kFolderInbox) != QPoint(); }))
        return run.Fail(QStringLiteral("a click on the project shows no folders")), 1;
    QTest::qWait(300);
    Xdo(Click(run.FolderPoint(kFolderInbox)));
    QTreeView* list = form->MessageList();
    if (!WaitFor([&] { return list->model()->rowCount() == kMessages; }))
        return run.Fail(QStringLiteral("the inbox lists %1 rows").arg(list->model()->rowCount())), 1;
    QTest::qWait(300);
    Shot(QStringLiteral("inbox"));
    const QPoint from = list->viewport()->mapToGlobal(
        list->visualRect(list->model()->index(0, 3)).center());
    const QPoint to = run.FolderPoint(kFolderTrash);
    Xdo(QStringLiteral("xdotool mousemove --sync %1 %2 mousedown 1; sleep 0.3;"
                       " xdotool mousemove %3 %4; sleep 0.2; xdotool mousemove %5 %6; sleep 0.2;"
                       " xdotool mousemove %7 %8; sleep 0.5; xdotool mouseup 1")
            .arg(from.x()).arg(from.y())
            .arg(from.x() + 15).arg(from.y() + 4)
            .arg((from.x() + to.x()) / 2).arg((from.y() + to.y()) / 2)
            .arg(to.x()).arg(to.y()));
    if (!WaitFor([&] { return run.FilesIn(kFolderTrash) == 1 && run.FilesIn(kFolderInbox) == kMessages - 1; }))
        return run.Fail(QStringLiteral("the drag moved nothing (inbox %1, trash %2)")
                            .arg(run.FilesIn(kFolderInbox))
                            .arg(run.FilesIn(kFolderTrash))),
               1;
    QTest::qWait(2500); // the counts refresh
    Shot(QStringLiteral("after-drag"));

    // Maximised: the panels and columns take the room.
    const int treeWidth = form->FolderTree()->width();
    const int subjectWidth = list->header()->sectionSize(3);
    form->showMaximized();
    QTest::qWait(500);
    const QRect room = form->screen()->availableGeometry();
    if (form->width() < room.width() - 20)
        form->setGeometry(room); // no window manager to maximise it
    QTest::qWait(800);
    Shot(QStringLiteral("maximised"));
    if (form->FolderTree()->width() <= treeWidth || list->header()->sectionSize(3) <= subjectWidth)
        return run.Fail(QStringLiteral("maximised, the tree (%1 -> %2) or subject (%3 -> %4) did not grow")
                            .arg(treeWidth).arg(form->FolderTree()->width())
                            .arg(subjectWidth).arg(list->header()->sectionSize(3))),
               1;

    // Closed.
    if (!form->close())
        return run.Fail(QStringLiteral("the window refused to close")), 1;
    form.reset();
    Say(QStringLiteral("passed"));
    return 0;
}
