// The message list of the main window on a data home with a few message files: a click in the
// project tree lists the inbox, heading clicks sort it, the selection travels both ways
// between the view and the core list, and a state change from the popup menu renames the
// message file.

#include "addressbook/blacklist.h"
#include "paramtree/node_tree.h"
#include "shell/atomic_file.h"
#include "shell/shell_state.h"
#include "store/folder_listing.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "ui/main_form.h"
#include "ui/main_window_fixture.h"
#include "ui/message_list_menu.h"
#include "ui/qt_ui_services.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <memory>

using namespace pelmora;

namespace {

constexpr int kProject = pelmora::testing::kDefaultProject;

std::string Message(const std::string& subject, const std::string& date) {
    return "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\nSubject: " + subject +
           "\r\nDate: " + date + "\r\nMessage-ID: <" + subject + "@example.org>\r\n\r\nHello\r\n";
}

using TFixture = pelmora::testing::TMainWindowFixture;

QStringList Column(const QAbstractItemModel* model, int column) {
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, column).data().toString();
    return out;
}

} // namespace

class TMainMessageListTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ListsTheInboxAndSortsByHeading();
    void SelectionAndStateChangeFromTheMenu();
    void RowsDroppedOnAFolderMove();
};

void TMainMessageListTest::ListsTheInboxAndSortsByHeading() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QVERIFY(fixture.Put("_1.eml", Message("beta", "Tue, 05 Mar 2024 14:07:09 +0000")));
    QVERIFY(fixture.Put("2.eml", Message("alpha", "Wed, 06 Mar 2024 10:00:00 +0000")));
    QVERIFY(fixture.Put("3.emlf", Message("gamma", "Mon, 04 Mar 2024 09:00:00 +0000")));
    QCOMPARE(fixture.Shell->CurrentProject, kProject);
    QVERIFY(fixture.ClickInbox());

    TMainForm& form = *fixture.Form;
    QTreeView* list = form.MessageList();
    QCOMPARE(list->model()->rowCount(), 3);
    QCOMPARE(form.Folders().ListedFolder(), kFolderInbox);
    // The counts timer brings the project's counts into the account tree.
    TNode* project = fixture.Work->AccountTree.FindFirst(
        [](const TNode& node) { return NodeNumber(node.Text()) == kProject; });
    QVERIFY(project);
    QTRY_VERIFY_WITH_TIMEOUT(project->Text().find("(3/1)") != std::string::npos, 8000);

    // A click on the subject heading sorts by it, a second click reverses the order; the
    // header shows what the core list holds.
    QHeaderView* header = list->header();
    auto clickHeading = [header](int column) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    header->resizeSection(3, 120);
    clickHeading(3);
    const QStringList first = Column(list->model(), 3);
    clickHeading(3);
    const QStringList second = Column(list->model(), 3);
    QStringList ascending = {QStringLiteral("alpha"), QStringLiteral("beta"),
                             QStringLiteral("gamma")};
    QStringList descending = {QStringLiteral("gamma"), QStringLiteral("beta"),
                              QStringLiteral("alpha")};
    QVERIFY2((first == ascending && second == descending) ||
                 (first == descending && second == ascending),
             qPrintable(first.join(QLatin1Char(',')) + QLatin1Char('/') +
                        second.join(QLatin1Char(','))));
    QCOMPARE(form.Folders().List.SortColumn(), 3);
    QCOMPARE(header->sortIndicatorSection(), 3);
    QCOMPARE(header->sortIndicatorOrder() == Qt::AscendingOrder, form.Folders().List.Ascending());
    // The order is kept for the next start.
    QVERIFY(form.close());
}

void TMainMessageListTest::SelectionAndStateChangeFromTheMenu() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QVERIFY(fixture.Put("_1.eml", Message("beta", "Tue, 05 Mar 2024 14:07:09 +0000")));
    QVERIFY(fixture.Put("2.eml", Message("alpha", "Wed, 06 Mar 2024 10:00:00 +0000")));
    QVERIFY(fixture.ClickInbox());
    TMainForm& form = *fixture.Form;
    QTreeView* list = form.MessageList();
    TMessageList& core = form.Folders().List;
    QCOMPARE(core.Count(), 2);

    // The core's "select all" shows in the view.
    form.MailMenu()->Item(QStringLiteral("MMenuSelectAll"))->trigger();
    QCOMPARE(list->selectionModel()->selectedRows().size(), 2);

    // Selecting one row in the view selects it alone in the core list.
    int unread = -1;
    for (int row = 0; row < core.Count(); ++row) {
        if (core.Row(row).Caption().find("_1.eml") != std::string::npos)
            unread = row;
    }
    QVERIFY(unread >= 0);
    list->selectionModel()->setCurrentIndex(list->model()->index(unread, 1),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
    QCOMPARE(core.SelectedCount(), 1);
    QVERIFY(core.Row(unread).Selected);
    QCOMPARE(core.Focused(), unread);

    // "Toggle read/unread" renames the file and the row follows.
    form.MailMenu()->Item(QStringLiteral("MMenuToggleReadUnread"))->trigger();
    QVERIFY(!QFileInfo::exists(ToQt(fixture.Inbox() + "_1.eml")));
    QVERIFY(QFileInfo::exists(ToQt(fixture.Inbox() + "1.eml")));
    bool found = false;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QString path =
            list->model()->index(row, 0).data(TMessageListModel::kPathRole).toString();
        QVERIFY(!path.endsWith(QStringLiteral("_1.eml")));
        found = found || path.endsWith(QStringLiteral("/1.eml"));
    }
    QVERIFY(found);

    // The selected row's sender goes onto the black-list as a bare address.
    form.MailMenu()->Item(QStringLiteral("MMenuAddSendertoBlackList"))->trigger();
    QCOMPARE(LoadBlackList(BlackListPath(fixture.Shell->Dirs().AddressBooks)),
             std::vector<std::string>{"ann@example.org"});

    // Commands that need message windows stay disabled; the core's commands are usable.
    QVERIFY(!form.MessageButton(QStringLiteral("ReplyMailBut"))->isEnabled());
    QVERIFY(form.MailMenu()->Item(QStringLiteral("MMenuCopyMessage"))->isEnabled());
    QVERIFY(form.close());
}

void TMainMessageListTest::RowsDroppedOnAFolderMove() {
    TFixture fixture;
    QVERIFY(fixture.Create());
    QVERIFY(fixture.Put("1.eml", Message("keep", "Tue, 05 Mar 2024 14:07:09 +0000")));
    QVERIFY(fixture.Put("2.eml", Message("move", "Wed, 06 Mar 2024 10:00:00 +0000")));
    QVERIFY(fixture.ClickInbox());
    TMainForm& form = *fixture.Form;
    TMessageList& core = form.Folders().List;
    QCOMPARE(core.Count(), 2);
    for (int row = 0; row < core.Count(); ++row) {
        if (core.Row(row).Caption().find("2.eml") != std::string::npos)
            core.SelectOnly(row);
    }

    TMarkupTree* tree = form.ProjectTree();
    auto pointOf = [&](int code) {
        TNode* node = fixture.Work->ProjectTree.FindFirst([code](const TNode& n) {
            return NodeNumber(n.Text()) == code && n.Level() <= 1;
        });
        return node ? tree->visualRect(tree->IndexOfNode(node)).center() : QPoint();
    };
    QMimeData rows;
    rows.setData(QStringLiteral("application/x-pelmora-message-rows"), QByteArray("rows"));
    auto accepted = [&](const QPoint& at) {
        QDragMoveEvent move(at, Qt::MoveAction, &rows, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &move);
        return move.isAccepted();
    };
    QDragEnterEvent enter(pointOf(kFolderDrafts), Qt::MoveAction, &rows, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    // The listed folder itself and the sent receipts take no rows; the drafts do.
    QVERIFY(!accepted(pointOf(kFolderInbox)));
    QVERIFY(!accepted(pointOf(kFolderOutReceipts)));
    QVERIFY(accepted(pointOf(kFolderDrafts)));
    QDropEvent drop(pointOf(kFolderDrafts), Qt::MoveAction, &rows, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &drop);

    const std::string drafts = FolderPath(fixture.Shell->Dirs().Store, kProject, kFolderDrafts);
    QVERIFY(!QFileInfo::exists(ToQt(fixture.Inbox() + "2.eml")));
    QVERIFY(QFileInfo::exists(ToQt(fixture.Inbox() + "1.eml")));
    QCOMPARE(QDir(ToQt(drafts)).entryList({QStringLiteral("*.eml*")}, QDir::Files).size(), 1);
    QCOMPARE(core.Count(), 1);
    QVERIFY(form.close());
}

QTEST_MAIN(TMainMessageListTest)
#include "main_message_list_test.moc"
