// The parameter tree view: its model over a TNodeTree, how node texts are drawn, and the
// in-place editors driven with mouse and keys.

#include "paramtree/markup_colour.h"
#include "paramtree/node_tree.h"
#include "ui/markup_tree.h"
#include "ui/param_editors.h"
#include "ui/text_convert.h"
#include "ui/tree_images.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>

#include <memory>

using namespace pelmora;

namespace {

struct TEventLog {
    QStringList Lines;
    TMarkupTreeEvents Events() {
        TMarkupTreeEvents events;
        events.OnParamSelect = [this](TNode*, const std::string& href, const std::string& value) {
            Lines << QStringLiteral("select %1=%2").arg(ToQt(href), ToQt(value));
        };
        events.OnParamChanged = [this](TNode*, const std::string& href, const std::string& from,
                                       const std::string& to) {
            Lines << QStringLiteral("changed %1 %2->%3").arg(ToQt(href), ToQt(from), ToQt(to));
        };
        return events;
    }
};

// A shown tree view over one node text.
struct TView {
    TNodeTree Tree;
    std::unique_ptr<TMarkupTree> View;
    TNode* Node = nullptr;

    explicit TView(const std::string& text) {
        Node = Tree.Add(nullptr, text);
        Tree.Add(nullptr, "<b>second</b>");
        View = std::make_unique<TMarkupTree>(nullptr);
        View->HTMLImages = &TreeImages();
        View->resize(400, 200);
        View->SetTree(&Tree);
        View->show();
        QVERIFY(QTest::qWaitForWindowExposed(View.get()));
    }

    QPoint ParamCentre(const char* href) {
        const QModelIndex index = View->IndexOfNode(Node);
        const QRect item = View->visualRect(index);
        for (int x = item.left(); x < item.right(); ++x) {
            const QPoint at(x, item.center().y());
            QRect area;
            if (View->ParamAt(at, &area) == href)
                return area.center();
        }
        return {};
    }
};

} // namespace

class TMarkupTreeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ModelFollowsTheTree();
    void DrawsImagesStylesAndSkipsUnknownTags();
    void ColourNamesAndDigitsAgree_data();
    void ColourNamesAndDigitsAgree();
    void ListChoiceWritesValue_data();
    void ListChoiceWritesValue();
    void EditValueIsEscaped();
    void SpinEscapeKeepsValue();
    void DateKeepsTheFormatItReadsIn();
    void MenuEntriesSortedAndChosen();
    void ClickHandlerLeavingValueAlone();
    void HandCursorOverParameters();
    void HintOverParameters();
    void SelectionDrawnOnlyWhenShown();
};

void TMarkupTreeTest::ModelFollowsTheTree() {
    TNodeTree tree;
    TNodeTreeModel model(tree, nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    TNode* account = tree.Add(nullptr, "<XID=001><b>Account</b>");
    TNode* profile = tree.Add(account, "<XID=101>Profile");
    TNode* b = tree.Add(account, "<XID=1001>Beta");
    TNode* a = tree.Add(account, "<XID=1000>Alpha");
    tree.Add(nullptr, "<XID=002>Other");
    QCOMPARE(model.rowCount(), 2);
    const QModelIndex accountIndex = model.index(0, 0);
    QCOMPARE(model.rowCount(accountIndex), 3);
    QCOMPARE(model.data(accountIndex, Qt::DisplayRole).toString(), QStringLiteral("Account"));
    QCOMPARE(model.data(accountIndex, TNodeTreeModel::MarkupRole).toString(),
             QStringLiteral("<XID=001><b>Account</b>"));

    QPersistentModelIndex alpha(model.IndexOf(a));
    tree.Sort(
        account, [](const TNode& x, const TNode& y) { return x.Text() < y.Text(); }, false);
    QCOMPARE(model.NodeOf(alpha), a); // persistent indexes follow their nodes
    QCOMPARE(alpha.row(), a->Index());
    QVERIFY(tree.Move(b, nullptr, 0));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.NodeOf(alpha), a);
    tree.SetText(profile, "<XID=101>Account Profile");
    QCOMPARE(model.data(model.IndexOf(profile), Qt::DisplayRole).toString(),
             QStringLiteral("Account Profile"));
    tree.Delete(account);
    QVERIFY(!alpha.isValid());
    QCOMPARE(model.rowCount(), 2);
    tree.Clear();
    QCOMPARE(model.rowCount(), 0);
}

void TMarkupTreeTest::DrawsImagesStylesAndSkipsUnknownTags() {
    TView view("<XID=001><IMG src=\"idx:2\"> <b><font color=\"clNavy\">Ann</font></b> "
               "<a href=\"Edit\">value</a>");
    auto* delegate = qobject_cast<TMarkupDelegate*>(view.View->itemDelegate());
    QVERIFY(delegate);
    const QModelIndex index = view.View->IndexOfNode(view.Node);
    const TMarkupPlacement placement = delegate->Place(index, view.View->visualRect(index), false);
    QStringList kinds;
    for (const TMarkupBox& box : placement.Boxes) {
        if (box.Kind == TMarkupRunKind::Image)
            kinds << QStringLiteral("image");
        else if (!box.Text.trimmed().isEmpty())
            kinds << box.Text.trimmed();
    }
    QCOMPARE(kinds, QStringList({"image", "Ann", "value"}));
    const TMarkupBox& image = placement.Boxes[0];
    QCOMPARE(image.Image.toImage(), TreeImages()[2].toImage());
    auto boxOf = [&](const QString& text) {
        for (const TMarkupBox& box : placement.Boxes)
            if (box.Text.trimmed() == text)
                return box;
        return TMarkupBox{};
    };
    QVERIFY(boxOf("Ann").Font.bold());
    QCOMPARE(boxOf("Ann").Colour, QColor(0x00, 0x00, 0x80));
    QVERIFY(boxOf("value").Font.underline());
    QCOMPARE(boxOf("value").Colour, view.View->ParamColor);
    QVERIFY(!boxOf("Ann").Rect.intersects(image.Rect));

    // The picture really carries the navy text and the image.
    QPixmap shot = view.View->viewport()->grab();
    const QImage picture = shot.toImage();
    bool navy = false;
    const QRect ann = boxOf("Ann").Rect;
    for (int x = ann.left(); x <= ann.right() && !navy; ++x)
        for (int y = ann.top(); y <= ann.bottom() && !navy; ++y)
            navy = picture.pixelColor(x, y).blue() > 60 && picture.pixelColor(x, y).red() < 60;
    QVERIFY(navy);
}

void TMarkupTreeTest::ColourNamesAndDigitsAgree_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::newRow("lime") << "#00FF00"
                          << "clLime";
    QTest::newRow("navy-case") << "#000080"
                               << "CLNAVY";
    QTest::newRow("unknown-name-is-black") << "#000000"
                                           << "clNoSuchColour";
}

void TMarkupTreeTest::ColourNamesAndDigitsAgree() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    const QPalette palette;
    const auto first = ParseMarkupColour(FromQt(a));
    const auto second = ParseMarkupColour(FromQt(b));
    QVERIFY(first && second);
    QCOMPARE(ResolveMarkupColour(*first, palette), ResolveMarkupColour(*second, palette));
}

void TMarkupTreeTest::ListChoiceWritesValue_data() {
    QTest::addColumn<int>("downs");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("other-value") << 1 << "Random"
                                 << QStringList({"select Style=Random",
                                                 "changed Style Incremental->Random"});
    QTest::newRow("same-value") << 0 << "Incremental" << QStringList({"select Style=Incremental"});
}

void TMarkupTreeTest::ListChoiceWritesValue() {
    QFETCH(int, downs);
    QFETCH(QString, stored);
    QFETCH(QStringList, events);
    TView view("<XID=201>Number style: <a href=\"Style\" class=\"LIST\" "
               "props=\"Date-Based,Incremental,Random\">Incremental</a>");
    TEventLog log;
    view.View->Events = log.Events();
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Style"));
    TPopupListBox* list = view.View->ListBox();
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentItem()->text(), QStringLiteral("Incremental"));
    for (int i = 0; i < downs; ++i)
        QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QVERIFY(!list->isVisible());
    QCOMPARE(ToQt(view.Node->Text()),
             QStringLiteral("<XID=201>Number style: <a href=\"Style\" class=\"LIST\" "
                            "props=\"Date-Based,Incremental,Random\">%1</a>")
                 .arg(stored));
    QCOMPARE(log.Lines, events);
}

void TMarkupTreeTest::EditValueIsEscaped() {
    TView view("Name: <a href=\"Name\" class=\"EDIT\">old</a>");
    TEventLog log;
    view.View->Events = log.Events();
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Name"));
    TPopupEdit* edit = view.View->EditBox();
    QTRY_VERIFY(edit->isVisible());
    QCOMPARE(edit->text(), QStringLiteral("old"));
    edit->setText(QStringLiteral("a<b"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(ToQt(view.Node->Text()),
             QStringLiteral("Name: <a href=\"Name\" class=\"EDIT\">a&lt;b</a>"));
    QCOMPARE(log.Lines.last(), QStringLiteral("changed Name old->a&lt;b"));
    // Drawn as the user typed it.
    auto* delegate = qobject_cast<TMarkupDelegate*>(view.View->itemDelegate());
    const QModelIndex index = view.View->IndexOfNode(view.Node);
    QString drawn;
    for (const TMarkupBox& box : delegate->Place(index, view.View->visualRect(index), false).Boxes)
        drawn += box.Text;
    QCOMPARE(drawn, QStringLiteral("Name: a<b"));
}

void TMarkupTreeTest::SpinEscapeKeepsValue() {
    TView view("Count: <a href=\"Count\" class=\"SPIN\">12</a>");
    TEventLog log;
    view.View->Events = log.Events();
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Count"));
    TPopupSpinEdit* spin = view.View->SpinBox();
    QTRY_VERIFY(spin->isVisible());
    QCOMPARE(spin->value(), 12);
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(spin, Qt::Key_Escape);
    view.View->setFocus(); // the editor loses the focus after Escape
    QCOMPARE(ToQt(view.Node->Text()),
             QStringLiteral("Count: <a href=\"Count\" class=\"SPIN\">12</a>"));
    QVERIFY(log.Lines.isEmpty());
    QVERIFY(spin->State.Cancelled);

    // Losing the focus without Escape commits.
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Count"));
    QTRY_VERIFY(spin->isVisible());
    QTest::keyClick(spin, Qt::Key_Up);
    view.View->setFocus();
    QCOMPARE(ToQt(view.Node->Text()),
             QStringLiteral("Count: <a href=\"Count\" class=\"SPIN\">13</a>"));
}

void TMarkupTreeTest::DateKeepsTheFormatItReadsIn() {
    TView view("Due: <a href=\"Due\" class=\"DATE\">24-12-2026</a>");
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Due"));
    TPopupDatePicker* picker = view.View->DatePicker();
    QTRY_VERIFY(picker->isVisible());
    QCOMPARE(picker->date(), QDate(2026, 12, 24));
    picker->setDate(QDate(2027, 1, 2));
    QTest::keyClick(picker, Qt::Key_Return);
    QCOMPARE(ToQt(view.Node->Text()),
             QStringLiteral("Due: <a href=\"Due\" class=\"DATE\">02-01-2027</a>"));

    // A value that is no date starts the picker at today.
    TView other("Due: <a href=\"Due\" class=\"DATE\">-not set-</a>");
    QTest::mouseClick(other.View->viewport(), Qt::LeftButton, {}, other.ParamCentre("Due"));
    QTRY_VERIFY(other.View->DatePicker()->isVisible());
    QCOMPARE(other.View->DatePicker()->date(), QDate::currentDate());
    QTest::keyClick(other.View->DatePicker(), Qt::Key_Escape);
    QCOMPARE(ToQt(other.Node->Text()),
             QStringLiteral("Due: <a href=\"Due\" class=\"DATE\">-not set-</a>"));
}

void TMarkupTreeTest::MenuEntriesSortedAndChosen() {
    TView view("Mode: <a href=\"Mode\" class=\"MENU\" props=\"Zulu,Alpha,Mike\">Mike</a>");
    TEventLog log;
    view.View->Events = log.Events();
    view.View->ParamListSorted = true;
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Mode"));
    QMenu* menu = view.View->ParamMenu();
    QTRY_VERIFY(menu->isVisible());
    QStringList captions;
    for (QAction* action : menu->actions())
        captions << action->text();
    QCOMPARE(captions, QStringList({"Alpha", "Mike", "Zulu"}));
    menu->actions().first()->trigger();
    menu->hide();
    QCOMPARE(ToQt(view.Node->Text()),
             QStringLiteral(
                 "Mode: <a href=\"Mode\" class=\"MENU\" props=\"Zulu,Alpha,Mike\">Alpha</a>"));
    QCOMPARE(log.Lines, QStringList({"select Mode=Alpha", "changed Mode Mike->Alpha"}));
}

void TMarkupTreeTest::ClickHandlerLeavingValueAlone() {
    const std::string text = "Active: <a href=\"Toggle\">Yes</a>";
    TView view(text);
    int clicks = 0;
    int changes = 0;
    view.View->Events.OnParamClick = [&](TNode*, const std::string&, std::string&) { ++clicks; };
    view.View->Events.OnParamChanged = [&](TNode*, const std::string&, const std::string&,
                                           const std::string&) { ++changes; };
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Toggle"));
    QCOMPARE(clicks, 1);
    QCOMPARE(changes, 0);
    QCOMPARE(view.Node->Text(), text);

    view.View->Events.OnParamClick = [](TNode*, const std::string&, std::string& value) {
        value = value == "Yes" ? "No" : "Yes";
    };
    QTest::mouseClick(view.View->viewport(), Qt::LeftButton, {}, view.ParamCentre("Toggle"));
    QCOMPARE(view.Node->Text(), std::string("Active: <a href=\"Toggle\">No</a>"));
    QCOMPARE(changes, 1);
}

void TMarkupTreeTest::HandCursorOverParameters() {
    TView view("Server: <a href=\"EditPOP3\">pop.example.org</a>");
    QStringList entered;
    view.View->OnParamEnter = [&](TNode*, const std::string& href, const std::string& value) {
        entered << ToQt(href + "=" + value);
    };
    const QPoint over = view.ParamCentre("EditPOP3");
    QVERIFY(!over.isNull());
    QTest::mouseMove(view.View->viewport(), over);
    QTRY_COMPARE(view.View->viewport()->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(entered.contains(QStringLiteral("EditPOP3=pop.example.org")));
    QTest::mouseMove(view.View->viewport(), QPoint(2, view.View->viewport()->height() - 3));
    QTRY_COMPARE(view.View->viewport()->cursor().shape(), Qt::ArrowCursor);
}

void TMarkupTreeTest::HintOverParameters()
{
    TView view("Server: <a href=\"EditPOP3\">pop.example.org</a>");
    view.View->ParamHint = true;
    bool show = true;
    view.View->OnParamHint = [&show](TNode*, const std::string& href, std::string& hint,
                                     bool& showHint) {
        hint = "Click to change " + href;
        showHint = show;
    };
    const QPoint at = view.ParamCentre("EditPOP3");
    QHelpEvent over(QEvent::ToolTip, at, view.View->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.View->viewport(), &over);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Click to change EditPOP3"));
    show = false;
    QApplication::sendEvent(view.View->viewport(), &over);
    QTRY_VERIFY(!QToolTip::isVisible());
}

void TMarkupTreeTest::SelectionDrawnOnlyWhenShown()
{
    TView view("<b>plain node text</b>");
    view.View->SelectionColor = QColor(255, 0, 255);
    view.View->setCurrentIndex(view.View->IndexOfNode(view.Node));
    const QRect item = view.View->visualRect(view.View->IndexOfNode(view.Node));
    auto magentaSeen = [&] {
        const QImage picture = view.View->viewport()->grab().toImage();
        for (int x = item.left(); x < item.right(); ++x)
            if (picture.pixelColor(x, item.center().y()) == QColor(255, 0, 255))
                return true;
        return false;
    };
    view.View->ShowSelection = false;
    QVERIFY(!magentaSeen());
    view.View->ShowSelection = true;
    QVERIFY(magentaSeen());
}

QTEST_MAIN(TMarkupTreeTest)
#include "markup_tree_test.moc"
