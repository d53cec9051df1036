// Mail in the charsets of other mail programs reads right in the window: a Latin-1, a KOI8-R
// and a Shift_JIS message (headers as encoded words, bodies as 8-bit text; written by
// Python's email tools, which read them back as the texts below) show their subject and
// sender in the message list and their text in Quick-View.

#include "store/folder_listing.h"
#include "ui/main_window_fixture.h"
#include "ui/quick_message.h"

#include <QApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <memory>

using namespace pelmora;

namespace {

constexpr int kProject = pelmora::testing::kDefaultProject;

struct TCharsetCase {
    const char* File;
    QString Sender;
    QString Subject;
    QString Body;
};

const std::vector<TCharsetCase>& Cases() {
    static const std::vector<TCharsetCase> cases = {
        {"latin1.eml", QStringLiteral("Jürgen Müller"), QStringLiteral("Grüße aus Köln"),
         QStringLiteral("Schöne Grüße vom Rhein")},
        {"koi8r.eml", QStringLiteral("Иван Петров"), QStringLiteral("Привет из Москвы"),
         QStringLiteral("Добрый день, коллеги")},
        {"shift_jis.eml", QStringLiteral("山田太郎"), QStringLiteral("会議の議事録"),
         QStringLiteral("よろしくお願いします")},
    };
    return cases;
}

QString RowText(const QAbstractItemModel* model, int row) {
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column)
        cells << model->index(row, column).data().toString();
    return cells.join(QLatin1Char('|'));
}

TQuickMessage* ShownQuickView() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* popup = qobject_cast<TQuickMessage*>(widget);
        if (popup && popup->isVisible())
            return popup;
    }
    return nullptr;
}

} // namespace

class TCharsetWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ListAndQuickViewShowTheTextsInUtf8();
};

void TCharsetWindowTest::ListAndQuickViewShowTheTextsInUtf8() {
    pelmora::testing::TMainWindowFixture fixture;
    QVERIFY(fixture.Create());
    QCOMPARE(fixture.Shell->CurrentProject, kProject);
    TMainForm* form = fixture.Form.get();

    int number = 1;
    for (const TCharsetCase& item : Cases()) {
        QFile file(QStringLiteral(PELMORA_TEST_DATA "/charsets/") + QLatin1String(item.File));
        QVERIFY2(file.open(QIODevice::ReadOnly), item.File);
        const QByteArray bytes = file.readAll();
        QVERIFY(fixture.Put("_" + std::to_string(number++) + ".eml",
                            std::string(bytes.constData(), bytes.size())));
    }

    QVERIFY(fixture.ClickInbox());
    QTreeView* list = form->MessageList();
    QCOMPARE(list->model()->rowCount(), static_cast<int>(Cases().size()));

    for (const TCharsetCase& item : Cases()) {
        int found = -1;
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            if (RowText(list->model(), row).contains(item.Subject))
                found = row;
        }
        QVERIFY2(found >= 0, qPrintable(item.Subject + QStringLiteral(" not listed in: ") +
                                        RowText(list->model(), 0) + QStringLiteral(" / ") +
                                        RowText(list->model(), 1) + QStringLiteral(" / ") +
                                        RowText(list->model(), 2)));
        QVERIFY2(RowText(list->model(), found).contains(item.Sender),
                 qPrintable(RowText(list->model(), found)));

        list->selectionModel()->setCurrentIndex(list->model()->index(found, 1),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        // Quick-View waits for the user: its text is read and the window closed once it shows.
        QString shown;
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(ShownQuickView() != nullptr, 5000);
            seen = true;
            shown = ShownQuickView()->Text();
            ShownQuickView()->close();
        });
        form->Folders().QuickViewClick();
        QVERIFY2(seen, item.File);
        QVERIFY2(shown.contains(item.Body), qPrintable(shown));
        QVERIFY(!shown.contains(QChar::ReplacementCharacter));
    }
    form->close();
}

QTEST_MAIN(TCharsetWindowTest)
#include "charset_window_test.moc"
