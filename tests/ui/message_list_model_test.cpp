// The message list model over the core list: a folder listed from its index in a temporary
// store, heading clicks that sort through the core rules, changes followed row by row, and
// the destination picker's choice rules.

#include "paramtree/node_tree.h"
#include "shell/message_texts.h"
#include "store/folder_index.h"
#include "ui/map_sel_form.h"
#include "ui/markup_tree.h"
#include "ui/models/message_list_model.h"
#include "ui/text_convert.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace pelmora;

namespace {

TListRow Row(const std::string& path, int state, const std::string& date, const std::string& subject,
             std::int64_t size) {
    TListRow row;
    row.SetCaption(RowCaption(state, state == 2 ? 3 : -1, path));
    row.StateIndex = state;
    row.ImageIndex = state == 2 ? 3 : -1;
    row.SetSubItems({date, "Ann (ann@example.org)", subject, FormatSizeColumn(size), "<id@x>"});
    return row;
}

QStringList Column(const QAbstractItemModel& model, int column) {
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.index(r, column).data().toString();
    return out;
}

} // namespace

class TMessageListModelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ListsAFolderIndexAndSortsByHeading();
    void FollowsRowChangesOfTheCoreList();
    void PickerChoosesOnlyFolderNodes();
};

void TMessageListModelTest::ListsAFolderIndexAndSortsByHeading()
{
    QTemporaryDir store;
    QVERIFY(store.isValid());
    const std::string inbox = FromQt(store.path()) + "/1000/inbox/";
    QVERIFY(QDir().mkpath(ToQt(inbox)));
    {
        TMessageList rows;
        rows.Add(Row(inbox + "_1.eml", 2, "09-01-2024 08:00", "beta", 20));
        rows.Add(Row(inbox + "2.eml", -1, "10-01-2023 09:00", "Alpha", 1500));
        rows.Add(Row(inbox + "3.emlf", 1, "05-03-2024 14:07", "alpha", 300));
        QVERIFY(SaveIndex(inbox + "tree.lst", rows));
    }

    TMessageList list;
    TMessageListModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetList(&list);
    model.SetHeadings({"S", "Date", "From Address", "Subject", "Bytes", ""});
    const TIndexLoad load = LoadIndex(inbox + "tree.lst", list);
    QVERIFY(load.Ok);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(load.Unread, 1);
    QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("From Address"));
    QCOMPARE(model.index(0, 0).data(TMessageListModel::kStateRole).toInt(), 2);
    QCOMPARE(model.index(0, 0).data(TMessageListModel::kImageRole).toInt(), 3);
    QCOMPARE(model.index(0, 0).data(TMessageListModel::kPathRole).toString(), ToQt(inbox + "_1.eml"));
    QVERIFY(model.index(0, 0).data(Qt::DisplayRole).isNull());
    QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().isNull());

    QSignalSpy sorted(&model, &TMessageListModel::SortChanged);
    model.HeadingClicked(1); // a new column: descending by date, not by text
    QCOMPARE(Column(model, 1), (QStringList{"05-03-2024 14:07", "09-01-2024 08:00",
                                            "10-01-2023 09:00"}));
    model.HeadingClicked(1);
    QCOMPARE(Column(model, 1).first(), QStringLiteral("10-01-2023 09:00"));
    model.HeadingClicked(4); // sizes as numbers
    QCOMPARE(Column(model, 4), (QStringList{"001500", "000300", "000020"}));
    model.HeadingClicked(3);
    model.HeadingClicked(3); // ascending: small letters before capitals
    QCOMPARE(Column(model, 3), (QStringList{"alpha", "Alpha", "beta"}));
    QCOMPARE(sorted.count(), 5);
    QCOMPARE(sorted.last().at(0).toInt(), 3);
    QCOMPARE(sorted.last().at(1).toBool(), true);
    model.sort(3, Qt::DescendingOrder);
    QCOMPARE(Column(model, 3).first(), QStringLiteral("beta"));
    model.SetList(nullptr);
}

void TMessageListModelTest::FollowsRowChangesOfTheCoreList()
{
    TMessageList list;
    TMessageListModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetList(&list);
    list.SetSort(3, true);
    list.Add(Row("/s/1.eml", -1, "01-01-2024 10:00", "b", 1));
    list.Add(Row("/s/2.eml", -1, "01-01-2024 10:00", "d", 1));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    AppendMessageRow(list, 5, 2, false, "<n@x>", "/s/_3.eml", "c", "", "S", "02-01-2024 10:00", -1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 1); // between "b" and "d"
    QCOMPARE(Column(model, 3), (QStringList{"b", "c", "d"}));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    list.SetState(1, -1, "/s/3.eml");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.index(1, 0).data(TMessageListModel::kPathRole).toString(), QStringLiteral("/s/3.eml"));
    list.RemoveRows({0, 2});
    QCOMPARE(model.rowCount(), 1);
    list.Remove(0);
    QCOMPARE(model.rowCount(), 0);
    model.SetList(nullptr);
}

void TMessageListModelTest::PickerChoosesOnlyFolderNodes()
{
    TMessageTexts texts;
    texts.LoadDefaults();
    TNodeTree tree;
    TNode* account = tree.Add(nullptr, "Account (me@example.org)");
    TNode* project = tree.Add(account, "Project");
    TNode* inbox = tree.Add(project, "<XID=1000><XPID=111>Inbox");
    TNode* sent = tree.Add(project, "<XID=1000><XPID=113>Sent");
    tree.Select(project);
    tree.Expand(account, true);
    tree.Expand(project, true);

    TMapSelForm form(nullptr, tree, texts);
    QCOMPARE(form.windowTitle(), ToQt(texts.Text(1, 251)));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto click = [&form](TNode* node) {
        const QRect rect = form.ParamTreeview1->visualRect(form.ParamTreeview1->IndexOfNode(node));
        QTest::mouseClick(form.ParamTreeview1->viewport(), Qt::LeftButton, {}, rect.center());
    };
    click(project); // level 1: no choice
    QCOMPARE(form.Choice(), std::string());
    click(inbox);
    QCOMPARE(form.Choice(), inbox->Text());
    click(sent);
    QCOMPARE(form.Choice(), sent->Text());
    form.Button2->click();
    QCOMPARE(form.Choice(), std::string());
    QCOMPARE(form.result(), int(QDialog::Rejected));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TMessageListModelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "message_list_model_test.moc"
