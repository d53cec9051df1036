// The main window as a desktop user meets it: a list parameter's drop-down stays open after
// the click that opened it, message rows drag onto a folder of the project tree, Ctrl+C copies,
// one key stroke does one thing, closing during a run leaves no window behind, the captions
// follow a state change, and windows open whole on the screen.

#include "paramtree/markup.h"
#include "paramtree/node_tree.h"
#include "processing/transfer_run.h"
#include "shell/atomic_file.h"
#include "shell/settings.h"
#include "shell/shell_state.h"
#include "store/folder_counts.h"
#include "store/folder_listing.h"
#include "store/message_state.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "ui/mail_progress_form.h"
#include "ui/main_form.h"
#include "ui/main_window_fixture.h"
#include "ui/markup_tree.h"
#include "ui/message_dlg.h"
#include "ui/param_editors.h"
#include "ui/qt_ui_services.h"
#include "ui/quick_message.h"
#include "ui/text_convert.h"
#include "ui/tree_images.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <memory>

using namespace pelmora;

namespace {

constexpr int kProject = pelmora::testing::kDefaultProject;

std::string Message(const std::string& subject) {
    return "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\nSubject: " + subject +
           "\r\nDate: Tue, 05 Mar 2024 14:07:09 +0000\r\nMessage-ID: <" + subject +
           "@example.org>\r\n\r\nHello\r\n";
}

struct TFixture : pelmora::testing::TMainWindowFixture {
    bool ListInbox() {
        // The project chosen in the account tree, its inbox in the project tree.
        TNode* project = Work->AccountTree.FindFirst(
            [](const TNode& node) { return NodeNumber(node.Text()) == kProject; });
        if (!project)
            return false;
        Work->AccountTree.Select(project);
        Work->FolderTreeClick();
        if (!FolderNode(kFolderInbox))
            return false;
        QTest::mouseClick(Form->ProjectTree()->viewport(), Qt::LeftButton, {},
                          FolderPoint(kFolderInbox));
        return Form->Folders().ListedFolder() == kFolderInbox;
    }
    int RowOf(const std::string& name) const {
        const TMessageList& list = Form->Folders().List;
        for (int row = 0; row < list.Count(); ++row) {
            if (list.Row(row).Caption().find("<" + Folder(kFolderInbox) + name + ">") !=
                std::string::npos)
                return row;
        }
        return -1;
    }
    QStringList InboxFiles() const {
        return QDir(ToQt(Folder(kFolderInbox))).entryList({QStringLiteral("*.eml*")}, QDir::Files);
    }
};

// Closes the next modal window that opens, with the button whose text is `button` (empty:
// reject), and remembers its title. It looks from a timer, so a command that pumps events
// before its dialog opens does not make it give up.
struct TModalCloser {
    QString Title;
    bool Seen = false;
    QTimer Poll;
    void Arm(const QString& button = QString()) {
        Poll.setInterval(20);
        QObject::disconnect(&Poll, nullptr, nullptr, nullptr);
        QObject::connect(&Poll, &QTimer::timeout, [this, button] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            Poll.stop();
            Seen = true;
            Title = modal->windowTitle();
            if (!button.isEmpty()) {
                for (QPushButton* push : modal->findChildren<QPushButton*>()) {
                    if (push->text().remove(QLatin1Char('&')) == button) {
                        push->click();
                        return;
                    }
                }
            }
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        });
        Poll.start();
    }
};

int VisibleTopLevels() {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->isWindow() && !qobject_cast<QMenu*>(window))
            ++count;
    }
    return count;
}

} // namespace

class TDesktopWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ListParameterDropDownStaysOpen();
    void RowsCarryDragFlagsAndTheirPaths();
    void DraggedRowMovesToRemovedItems();
    void CtrlCCopiesWithACleanTitle();
    void EnterReleaseAfterADialogOpensNothing();
    void ClosingDuringARunEndsTheProgram();
    void CaptionsFollowAStateChangeAfterEsc();
    void IconsDrawnOnceAndSentReceiptsHaveTheirOwn();
    void NewAccountShowsWhatToFillIn();
    void QuickViewShowsTheHeader();
    void PlacementInsideTheScreen_data();
    void PlacementInsideTheScreen();
    void ProgressWindowOpensWhole();
    void ProjectMenuKeepsItsLayout();
    void AcceleratorMarksLeaveTitles_data();
    void AcceleratorMarksLeaveTitles();
};

void TDesktopWindowTest::ListParameterDropDownStaysOpen() {
    TNodeTree tree;
    const std::string text = "<XID=122>POP3 security: <a href=\"POP3Security\" class=\"LIST\" "
                             "props=\"none,STARTTLS,TLS\">none</a>";
    TNode* node = tree.Add(nullptr, text);
    TMarkupTree view(nullptr);
    view.resize(400, 200);
    view.SetTree(&tree);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QRect area;
    QPoint at;
    for (int x = 2; x < 390 && area.isEmpty(); ++x) {
        const QPoint probe(x, view.visualRect(view.IndexOfNode(node)).center().y());
        if (view.ParamAt(probe, &area) == "POP3Security")
            at = probe;
    }
    QVERIFY(!area.isEmpty());
    // Through the window system, as a real click: the release reaches the opened list.
    QWindow* window = view.windowHandle();
    const QPoint inWindow = view.viewport()->mapTo(&view, at);
    QTest::mousePress(window, Qt::LeftButton, {}, inWindow);
    TPopupListBox* list = view.ListBox();
    QTRY_VERIFY(list->isVisible());
    QTest::mouseRelease(window, Qt::LeftButton, {}, inWindow);
    QTest::qWait(50);
    QVERIFY2(list->isVisible(), "the release of the opening click closed the drop-down");
    QCOMPARE(ToQt(node->Text()), ToQt(text));
    // Below the parameter, not over it, and on the screen.
    QVERIFY(list->geometry().top() > view.viewport()->mapToGlobal(area.topLeft()).y());
    QVERIFY(list->screen()->availableGeometry().contains(list->frameGeometry()));
    // A click on an entry chooses it.
    QListWidgetItem* tls = list->item(2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(tls).center());
    QVERIFY(!list->isVisible());
    QCOMPARE(ReadParam(node->Text(), "POP3Security").value_or(""), std::string("TLS"));
    view.SetTree(nullptr);
}

void TDesktopWindowTest::RowsCarryDragFlagsAndTheirPaths() {
    TMessageListModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVector<TMessageRow> rows;
    for (const char* path : {"/store/100000/111/_1.eml", "/store/100000/111/2.emlf"}) {
        TMessageRow row;
        row.Caption = QStringLiteral("    20<%1>").arg(QString::fromLatin1(path));
        row.State = 2;
        row.SubItems = {QStringLiteral("05-03-2024"), QStringLiteral("ann@example.org"),
                        QStringLiteral("hello"), QStringLiteral("000100"), QStringLiteral("<a@b>")};
        rows.append(row);
    }
    model.SetRows(rows);
    QVERIFY(model.flags(model.index(0, 3)) & Qt::ItemIsDragEnabled);
    QVERIFY(!(model.flags(model.index(0, 3)) & Qt::ItemIsDropEnabled));
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QVERIFY(model.supportedDragActions() & Qt::MoveAction);
    const QString type = QString::fromLatin1(kMessageRowsMime);
    QCOMPARE(model.mimeTypes(), QStringList({type}));
    // Every column of both rows, out of order: each row once, in list order.
    const QModelIndexList indexes = {model.index(1, 2), model.index(0, 0), model.index(1, 0),
                                     model.index(0, 4)};
    std::unique_ptr<QMimeData> data(model.mimeData(indexes));
    QVERIFY(data);
    QCOMPARE(data->data(type),
             QByteArray("/store/100000/111/_1.eml\n/store/100000/111/2.emlf\n"));
    QVERIFY(!model.mimeData({}));
}

void TDesktopWindowTest::DraggedRowMovesToRemovedItems() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QVERIFY(fixture.Put("1.eml", Message("keep")));
    QVERIFY(fixture.Put("2.eml", Message("drag")));
    QVERIFY(fixture.ListInbox());
    TMainForm& form = *fixture.Form;
    QTreeView* list = form.MessageList();
    const int row = fixture.RowOf("2.eml");
    QVERIFY(row >= 0);
    // Pressed on a row and moved: a drag starts (the press selects; it is no range selection).
    QWidget* viewport = list->viewport();
    const QPoint start = list->visualRect(list->model()->index(row, 3)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    for (const QPoint& step : {start + QPoint(5, 0),
                               start + QPoint(QApplication::startDragDistance() + 20, 8)}) {
        QMouseEvent move(QEvent::MouseMove, step, viewport->mapToGlobal(step), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    const QList<QDrag*> drags = list->findChildren<QDrag*>();
    QCOMPARE(drags.size(), 1);
    QCOMPARE(form.Folders().List.SelectedCount(), 1);
    const QMimeData* rows = drags.first()->mimeData();
    QCOMPARE(rows->data(QString::fromLatin1(kMessageRowsMime)),
             QByteArray::fromStdString(fixture.Folder(kFolderInbox) + "2.eml\n"));
    // The offscreen desktop ends every drag at once; the tree takes the drop as the desktop
    // delivers it.
    TMarkupTree* tree = form.ProjectTree();
    const QPoint trash = fixture.FolderPoint(kFolderTrash);
    QDragEnterEvent enter(trash, Qt::MoveAction, rows, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent over(trash, Qt::MoveAction, rows, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &over);
    QVERIFY(over.isAccepted());
    QDropEvent drop(trash, Qt::MoveAction, rows, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &drop);
    QTRY_COMPARE(fixture.InboxFiles(), QStringList({QStringLiteral("1.eml")}));
    const QStringList inTrash = QDir(ToQt(fixture.Folder(kFolderTrash)))
                                    .entryList({QStringLiteral("*.eml*")}, QDir::Files);
    QCOMPARE(inTrash.size(), 1);
    QVERIFY(form.close());
}

void TDesktopWindowTest::CtrlCCopiesWithACleanTitle() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QVERIFY(fixture.Put("1.eml", Message("copy")));
    QVERIFY(fixture.ListInbox());
    TMainForm& form = *fixture.Form;
    form.Folders().List.SelectOnly(0);
    form.MessageList()->setFocus();
    TModalCloser closer;
    closer.Arm();
    QTest::keyClick(form.MessageList(), Qt::Key_C, Qt::ControlModifier);
    QTRY_VERIFY(closer.Seen);
    QVERIFY2(!closer.Title.isEmpty() && !closer.Title.contains(QLatin1Char('&')),
             qPrintable(closer.Title));
    QCOMPARE(fixture.InboxFiles(), QStringList({QStringLiteral("1.eml")}));
    QVERIFY(form.close());
}

void TDesktopWindowTest::EnterReleaseAfterADialogOpensNothing() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QVERIFY(fixture.Put("_1.eml", Message("enter")));
    QVERIFY(fixture.ListInbox());
    TMainForm& form = *fixture.Form;
    QTreeView* list = form.MessageList();
    form.Folders().List.SelectOnly(0);
    list->setFocus();
    // Enter went down in a dialog that closed on it; its release reaches the list.
    QWidget dialog;
    QTest::keyPress(&dialog, Qt::Key_Return);
    QTest::keyRelease(list, Qt::Key_Return);
    QTest::qWait(50);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(fixture.InboxFiles(), QStringList({QStringLiteral("_1.eml")})); // still unread
    // Pressed and released on the list: Quick-View opens (and the message becomes read).
    TModalCloser closer;
    closer.Arm();
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_VERIFY(closer.Seen);
    QCOMPARE(closer.Title.contains(QStringLiteral("ann@example.org")), true);
    QTRY_COMPARE(fixture.InboxFiles(), QStringList({QStringLiteral("1.eml")}));
    QVERIFY(form.close());
}

void TDesktopWindowTest::ClosingDuringARunEndsTheProgram() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    const int before = VisibleTopLevels();
    // A run in progress with its window open.
    fixture.Shell->TransferRunning = true;
    TTransferRun& run = form.Transfer();
    QVERIFY(run.Hooks.CreateProgressWindow);
    run.AttachProgressWindow(run.Hooks.CreateProgressWindow());
    QTRY_VERIFY(form.ProgressWindow() && form.ProgressWindow()->isVisible());
    QCOMPARE(VisibleTopLevels(), before + 1);
    // "No" keeps everything as it is.
    TModalCloser keep;
    keep.Arm(QStringLiteral("No"));
    QVERIFY(!form.close());
    QVERIFY(keep.Seen);
    QVERIFY(form.isVisible());
    QCOMPARE(fixture.Ended, 0);
    // "Yes": the window, its progress window and every pop-up go, and the program ends.
    TModalCloser abort;
    abort.Arm(QStringLiteral("Yes"));
    QVERIFY(form.close());
    QVERIFY(abort.Seen);
    QCOMPARE(fixture.Ended, 1);
    QTRY_COMPARE(VisibleTopLevels(), 0);
    QVERIFY(fixture.Shell->AbortRequested);
    fixture.Shell->TransferRunning = false;
}

void TDesktopWindowTest::CaptionsFollowAStateChangeAfterEsc() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QVERIFY(fixture.Put("_1.eml", Message("one")));
    QVERIFY(fixture.Put("_2.eml", Message("two")));
    QVERIFY(fixture.ListInbox());
    TMainForm& form = *fixture.Form;
    TNode* inbox = fixture.FolderNode(kFolderInbox);
    QTRY_COMPARE(ParseCaptionCounts(inbox->Text()).Unread, 2);
    // A pop-up closed with Esc: its release lands in the main window.
    QWidget popup;
    QTest::keyPress(&popup, Qt::Key_Escape);
    QTest::keyRelease(form.MessageList(), Qt::Key_Escape);
    QVERIFY(!fixture.Shell->AbortRequested);
    // One message read: the inbox caption and the project's count agree again.
    form.Folders().List.SelectOnly(fixture.RowOf("_1.eml"));
    form.Folders().ChangeMessageState(kToggleRead, false);
    QTRY_COMPARE(ParseCaptionCounts(inbox->Text()).Unread, 1);
    QCOMPARE(ParseCaptionCounts(inbox->Text()).Total, 2);
    TNode* project = fixture.Work->AccountTree.FindFirst(
        [](const TNode& node) { return NodeNumber(node.Text()) == kProject; });
    QVERIFY(project);
    QTRY_VERIFY2(StripMarkup(project->Text()).find("(2/1") != std::string::npos,
                 project->Text().c_str());
    QVERIFY(form.close());
}

void TDesktopWindowTest::IconsDrawnOnceAndSentReceiptsHaveTheirOwn() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMarkupTree* tree = fixture.Form->ProjectTree();
    auto* delegate = qobject_cast<TMarkupDelegate*>(tree->itemDelegate());
    QVERIFY(delegate);
    auto images = [&](int code) {
        const QModelIndex index = tree->IndexOfNode(fixture.FolderNode(code));
        QList<QImage> found;
        for (const TMarkupBox& box : delegate->Place(index, tree->visualRect(index), false).Boxes) {
            if (box.Kind == TMarkupRunKind::Image)
                found << box.Image.toImage();
        }
        return found;
    };
    // After the counts refresh has given the nodes their image as well.
    for (int code : {kFolderInbox, kFolderOutReceipts})
        fixture.Work->ProjectTree.SetImageIndex(fixture.FolderNode(code), 12);
    QCOMPARE(images(kFolderInbox).size(), 1);
    const QList<QImage> sentReceipts = images(kFolderOutReceipts);
    QCOMPARE(sentReceipts.size(), 1);
    for (int profileOrProject : {3, 4, 5, 6, 7})
        QVERIFY(sentReceipts[0] != TreeImages()[profileOrProject].toImage());
    QVERIFY(sentReceipts[0] == TreeImages()[kSentReceiptImages].toImage() ||
            sentReceipts[0] == TreeImages()[kSentReceiptImages + 1].toImage() ||
            sentReceipts[0] == TreeImages()[kSentReceiptImages + 2].toImage());
    // The stored tree keeps its numbers.
    QVERIFY(fixture.FolderNode(kFolderOutReceipts)->Text().find("idx:5") != std::string::npos ||
            fixture.FolderNode(kFolderOutReceipts)->Text().find("idx:6") != std::string::npos ||
            fixture.FolderNode(kFolderOutReceipts)->Text().find("idx:7") != std::string::npos);
    QVERIFY(fixture.Form->close());
}

void TDesktopWindowTest::NewAccountShowsWhatToFillIn() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    const int accounts = fixture.Work->AccountTree.TopCount();
    form.Action(QStringLiteral("MenuAddAccount"))->trigger();
    QCOMPARE(fixture.Work->AccountTree.TopCount(), accounts + 1);
    TNode* selected = fixture.Work->AccountTree.Selected();
    QVERIFY(selected);
    TNode* account = AccountOf(selected);
    QVERIFY(account->Expanded());
    QVERIFY(form.FolderTree()->isExpanded(form.FolderTree()->IndexOfNode(account)));
    // A parameter still to fill in, shown, and named in the status bar.
    QVERIFY(selected != account);
    QVERIFY(selected->Text().find(fixture.Shell->Text(3, 14)) != std::string::npos);
    for (TNode* parent = selected->Parent(); parent; parent = parent->Parent())
        QVERIFY(form.FolderTree()->isExpanded(form.FolderTree()->IndexOfNode(parent)));
    const QString status = form.FolderStatus()->currentMessage();
    QVERIFY2(status.contains(ToQt(StripMarkup(selected->Text()))), qPrintable(status));
    // The account has its project.
    bool project = false;
    for (int i = 0; i < account->ChildCount(); ++i)
        project = project || NodeNumber(account->Child(i)->Text()) >= kFirstDefaultProject;
    QVERIFY(project);
    QVERIFY(form.close());
}

void TDesktopWindowTest::QuickViewShowsTheHeader() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    // A message as mail programs write it: encoded subject and name, two recipients.
    QVERIFY(fixture.Put("1.eml",
                        "From: =?ISO-8859-1?Q?Andr=E9?= Pirard <PIRARD@vm1.ulg.ac.be>\r\n"
                        "To: Keith Moore <moore@cs.utk.edu>, bob@example.net\r\n"
                        "Subject: =?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=\r\n"
                        "Date: Fri, 21 Nov 1997 09:55:06 -0600\r\n\r\nBody text\r\n"));
    QVERIFY(fixture.ListInbox());
    TFolderView& view = fixture.Form->Folders();
    std::string sender;
    const std::string text =
        view.QuickViewText(fixture.Folder(kFolderInbox) + "1.eml", &sender);
    QCOMPARE(ToQt(sender), QStringLiteral("PIRARD@vm1.ulg.ac.be"));
    QCOMPARE(ToQtLines(text),
             QStringLiteral("Subject: If you can read this yo\n"
                            "Date: Fri, 21 Nov 1997 09:55:06 -0600\n"
                            "From: André Pirard <PIRARD@vm1.ulg.ac.be>\n"
                            "To: Keith Moore <moore@cs.utk.edu>, bob@example.net\n"
                            "\nBody text\n"));
    QVERIFY(fixture.Form->close());
}

void TDesktopWindowTest::PlacementInsideTheScreen_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("owner");
    QTest::addColumn<QRect>("expected");
    const QRect screen(0, 0, 1280, 1024);
    QTest::newRow("centred-on-owner")
        << QSize(400, 300) << QRect(100, 100, 800, 600) << QRect(300, 250, 400, 300);
    QTest::newRow("owner-in-corner-kept-on-screen")
        << QSize(400, 300) << QRect(-300, 900, 400, 300) << QRect(0, 724, 400, 300);
    QTest::newRow("no-owner-screen-centre")
        << QSize(400, 300) << QRect() << QRect(440, 362, 400, 300);
    QTest::newRow("taller-than-screen-top-on-screen")
        << QSize(400, 1200) << QRect(100, 100, 800, 600) << QRect(300, 0, 400, 1200);
}

void TDesktopWindowTest::PlacementInsideTheScreen() {
    QFETCH(QSize, size);
    QFETCH(QRect, owner);
    QFETCH(QRect, expected);
    QCOMPARE(TMailProgressForm::PlaceCentred(size, owner, QRect(0, 0, 1280, 1024)), expected);
    // The main window's size from the stored one.
    QCOMPARE(MainWindowSize(QSize(790, 590), QRect(0, 0, 1920, 1080)), QSize(1200, 800));
    QCOMPARE(MainWindowSize(QSize(1500, 900), QRect(0, 0, 1920, 1080)), QSize(1500, 900));
    QCOMPARE(MainWindowSize(QSize(790, 590), QRect(0, 0, 1024, 768)), QSize(1024, 768));
}

void TDesktopWindowTest::ProgressWindowOpensWhole() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    TTransferRun& run = form.Transfer();
    fixture.Shell->TransferRunning = true;
    run.AttachProgressWindow(run.Hooks.CreateProgressWindow());
    TMailProgressForm* progress = form.ProgressWindow();
    QVERIFY(progress);
    QVERIFY(QTest::qWaitForWindowExposed(progress));
    const QRect room = progress->screen()->availableGeometry();
    QVERIFY(room.contains(progress->frameGeometry()));
    QVERIFY(progress->height() >= progress->minimumSizeHint().height());
    QVERIFY((progress->frameGeometry().center() - form.frameGeometry().center()).manhattanLength() <
            40);
    // A dialog of the main window: the desktop keeps it above its owner.
    QCOMPARE(progress->windowType(), Qt::Dialog);
    QCOMPARE(progress->parentWidget(), &form);
    // Blocked mail turns caption and number red; a finished run shows full gauges.
    run.Progress.Counters.Blocked = 2;
    run.Progress.BlockedRed = true;
    run.Progress.Finished = true;
    run.Progress.ActionRed = false;
    progress->ProgressChanged(run.Progress);
    QVERIFY(progress->Counters[TMailProgressForm::Blocked]->styleSheet().contains("color"));
    QVERIFY(progress->CounterCaptions[TMailProgressForm::Blocked]->styleSheet().contains("color"));
    QVERIFY(!progress->CounterCaptions[TMailProgressForm::Refused]->styleSheet().contains("color"));
    QCOMPARE(progress->OverallGauge->value(), progress->OverallGauge->maximum());
    // Its ticks are kept when it closes.
    progress->CloseOnReadyBox->setChecked(true);
    progress->close();
    QVERIFY(fixture.Shell->Settings().GetBool(TSettingKey::CloseOnReady));
    fixture.Shell->TransferRunning = false;
    QVERIFY(form.close());
}

void TDesktopWindowTest::ProjectMenuKeepsItsLayout() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    TMainForm& form = *fixture.Form;
    QMenu* projects = form.Menu(QStringLiteral("MenuProjects"));
    auto layout = [projects] {
        QStringList visible;
        for (QAction* action : projects->actions()) {
            if (action->isVisible())
                visible << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
        }
        return visible;
    };
    const QStringList first = layout();
    QAction* deleteProject = form.Action(QStringLiteral("MenuDeleteProject"));
    QVERIFY(first.contains(QStringLiteral("MenuDeleteProject")));
    // The default project cannot be deleted: the item stays, greyed.
    TNode* project = fixture.Work->AccountTree.FindFirst(
        [](const TNode& node) { return NodeNumber(node.Text()) == kProject; });
    fixture.Work->AccountTree.Select(project);
    QCOMPARE(layout(), first);
    QVERIFY(!deleteProject->isEnabled());
    fixture.Work->AccountTree.Select(fixture.Work->AccountTree.First());
    QCOMPARE(layout(), first);
    QVERIFY(form.close());
}

void TDesktopWindowTest::AcceleratorMarksLeaveTitles_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("menu-item") << "Pelmora - &Copy"
                               << "Pelmora - Copy";
    QTest::newRow("leading") << "&Save to file"
                             << "Save to file";
    QTest::newRow("doubled-stays-one") << "Tom && Jerry"
                                       << "Tom & Jerry";
    QTest::newRow("inner") << "Reply to A&ll"
                           << "Reply to All";
    QTest::newRow("trailing") << "R&D &"
                              << "RD &";
}

void TDesktopWindowTest::AcceleratorMarksLeaveTitles() {
    QFETCH(QString, caption);
    QFETCH(QString, title);
    TFixture fixture;
    QVERIFY(fixture.Create());
    // Any window of the program, whoever names it.
    QDialog dialog(fixture.Form.get());
    dialog.setWindowTitle(caption);
    QCOMPARE(dialog.windowTitle(), title);
    QVERIFY(fixture.Form->close());
}

QTEST_MAIN(TDesktopWindowTest)
#include "desktop_window_test.moc"
