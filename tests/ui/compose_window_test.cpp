// The message window as a user meets it: a message written by Python's email package shown
// with its embedded picture and without its remote one until asked, the HTML toolbar and
// what of its work survives a Save and a reopening, the modified/close question, Save twice
// keeping one draft, the read-only attachments window, hostile HTML, and printing to PDF
// read back by pdftotext.

#include "compose/compose_form.h"
#include "compose/compose_save.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/store_layout.h"
#include "ui/attachments_form.h"
#include "ui/compose_form.h"
#include "ui/html_edit.h"
#include "ui/message_view_form.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>

#include <memory>

using namespace pelmora;
using namespace pelmora::compose;

namespace {

constexpr int kProject = 1001;

struct THome {
    QTemporaryDir Dir;
    TScriptedUi Ui;
    std::unique_ptr<TShell> Shell;

    bool Create() {
        TShellOptions options;
        options.ProgramDir = FromQt(Dir.path()) + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        if (!Shell->FormCreate().Ok)
            return false;
        Shell->StartingUp = false;
        return EnsureProjectDirectories(Shell->Dirs().Store, kProject);
    }
    TComposeContext Context() const {
        TComposeContext context;
        context.ProjectNumber = kProject;
        context.ProjectName = "Work";
        context.TempDir = Shell->Dirs().Temp;
        context.StoreDir = Shell->Dirs().Store;
        context.OutboxDir = FolderPath(context.StoreDir, kProject, kFolderOutbox);
        context.DraftsDir = FolderPath(context.StoreDir, kProject, kFolderDrafts);
        context.Account.AccountName = "Me Myself (me@example.org)";
        context.Account.EmailAddress = "me@example.org";
        context.AccountNames = {context.Account.AccountName};
        return context;
    }
    std::string Folder(int code) const { return FolderPath(Shell->Dirs().Store, kProject, code); }
    // A window for a mode, filled and shown as the launcher does.
    TPelmoraMailForm* Open(TComposeMode mode, const std::string& file, bool viewOnly) {
        auto form = std::make_unique<TComposeForm>();
        form->Context = Context();
        form->Mode = mode;
        form->ViewOnly = viewOnly;
        form->MessageFile = file;
        if (!PrepareForm(*form, *Shell))
            return nullptr;
        auto* window = new TPelmoraMailForm(nullptr, *Shell, std::move(form));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->ShowState();
        window->show();
        return window;
    }
    QStringList MessageFiles(int code) const {
        return QDir(ToQt(Folder(code))).entryList({QStringLiteral("*.eml")}, QDir::Files);
    }
};

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// What Python's email package reads from a written message.
QString PythonReading(const QString& file) {
    return Run(QStringLiteral("python3"),
               {QStringLiteral(PELMORA_SOURCE_DIR "/tests/compose/read_message.py"), file});
}

// A picture file (PNG, written by Qt) of one colour.
QString WritePicture(const QString& path, const QColor& colour) {
    QImage image(12, 9, QImage::Format_RGB32);
    image.fill(colour);
    image.save(path, "PNG");
    return path;
}

// Whether the document laid out the picture: the resource it loaded for the address.
bool PictureLoaded(QTextDocument* document, const QString& address) {
    const QVariant data = document->resource(QTextDocument::ImageResource, QUrl(address));
    if (!data.isValid())
        return false;
    QImage image;
    if (data.userType() == QMetaType::QByteArray)
        image.loadFromData(data.toByteArray());
    else
        image = data.value<QImage>();
    return !image.isNull();
}

// The image addresses a document holds, in order.
QStringList ImageNames(QTextDocument* document) {
    QStringList names;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                names << it.fragment().charFormat().toImageFormat().name();
    return names;
}

// A local web server on 127.0.0.1 serving one directory; it logs every request.
struct TLocalServer {
    QProcess Process;
    int Port = 0;
    bool Start(const QString& directory) {
        Process.setWorkingDirectory(directory);
        Process.setProcessChannelMode(QProcess::MergedChannels);
        Process.start(QStringLiteral("python3"),
                      {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                       QStringLiteral("0"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1")});
        QElapsedTimer timer;
        timer.start();
        static const QRegularExpression kPort(QStringLiteral("port (\\d+)"));
        while (timer.elapsed() < 10000) {
            Process.waitForReadyRead(200);
            Log += QString::fromUtf8(Process.readAll());
            const auto match = kPort.match(Log);
            if (match.hasMatch()) {
                Port = match.captured(1).toInt();
                return true;
            }
        }
        return false;
    }
    QString Requests() {
        QCoreApplication::processEvents();
        Process.waitForReadyRead(100);
        Log += QString::fromUtf8(Process.readAll());
        return Log;
    }
    ~TLocalServer() {
        Process.kill();
        Process.waitForFinished(3000);
    }
    QString Log;
};

} // namespace

class TComposeWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ViewShowsEmbeddedPictureAndHoldsRemoteOneUntilAsked();
    void ToolbarFollowsCursorAndItsWorkSurvivesSaveAndReopen();
    void BackgroundPictureTravelsWithTheMessage();
    void ModifiedWindowAsksAndSaveTwiceKeepsOneDraft();
    void AttachmentsWindowReadOnlyInViewMode();
    void HostileHtmlOpensPromptlyAndNothingIsLost();
    void TypingInALargeHtmlBodyStaysCheap();
    void PrintsHeaderAndBodyToPdf();
};

void TComposeWindowTest::ViewShowsEmbeddedPictureAndHoldsRemoteOneUntilAsked() {
    THome home;
    QVERIFY(home.Create());
    QTemporaryDir served;
    WritePicture(served.path() + "/tracker.png", Qt::red);
    TLocalServer server;
    QVERIFY2(server.Start(served.path()), qPrintable(server.Log));
    const QString remote = QStringLiteral("http://127.0.0.1:%1/tracker.png").arg(server.Port);
    const std::string file = home.Folder(kFolderInbox) + "1.eml";
    Run(QStringLiteral("python3"), {QStringLiteral(PELMORA_TEST_DATA "/compose/write_related.py"),
                                    ToQt(file), remote});
    QVERIFY(QFile::exists(ToQt(file)));

    std::unique_ptr<TPelmoraMailForm> window(home.Open(ModeOpen, file, true));
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    TMessageView* view = window->ViewFrame();
    QTextDocument* document = view->Browser()->document();
    QTest::qWait(50);

    QVERIFY(document->toPlainText().contains(QStringLiteral("The harbour at dawn")));
    QVERIFY(!document->toPlainText().contains(QStringLiteral("ran")));
    const QStringList images = ImageNames(document);
    QCOMPARE(images.size(), 2);
    QVERIFY(images[0].startsWith(QStringLiteral("cid:")));
    QVERIFY2(PictureLoaded(document, images[0]), qPrintable(images[0]));
    QCOMPARE(images[1], remote);
    QVERIFY(!PictureLoaded(document, remote));
    QVERIFY(view->Bar()->isVisible());
    QVERIFY(view->ShowRemoteButton()->isVisible());
    QCOMPARE(view->RemotePictures().size(), size_t(1));
    QVERIFY(view->Browser()->Refused().contains(remote));
    QVERIFY2(!server.Requests().contains(QStringLiteral("GET")), qPrintable(server.Log));

    // Only the click fetches, and only this message's picture.
    QSignalSpy finished(view, &TMessageView::RemoteFinished);
    QTest::mouseClick(view->ShowRemoteButton(), Qt::LeftButton);
    QVERIFY(finished.wait(15000));
    QVERIFY(server.Requests().contains(QStringLiteral("GET /tracker.png")));
    QVERIFY(!server.Log.contains(QStringLiteral("/steal")));
    QVERIFY(PictureLoaded(document, remote));
    QCOMPARE(window->Form().Message.GetSubject(), std::string("Harbour photos – Grüße"));
}

void TComposeWindowTest::ToolbarFollowsCursorAndItsWorkSurvivesSaveAndReopen() {
    THome home;
    QVERIFY(home.Create());
    QTemporaryDir pictures;
    const QString picture = WritePicture(pictures.path() + "/my pic.png", QColor(0, 200, 0));
    auto* raw = home.Open(ModeNew, "", false);
    QVERIFY(raw);
    std::unique_ptr<TPelmoraMailForm> window(raw);
    window->Form().HtmlVisible = true;
    window->ShowState();
    window->ToCombo()->setText(QStringLiteral("zoe@example.net"));
    window->Subjecit()->setText(QStringLiteral("Formatted"));
    THTMLEdit* frame = window->HtmlFrame();
    QTextEdit* edit = frame->Editor();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    edit->setFocus();

    QTest::keyClicks(edit, QStringLiteral("plain "));
    frame->Action(QStringLiteral("btnBold"))->trigger();
    QTest::keyClicks(edit, QStringLiteral("strong"));
    frame->Action(QStringLiteral("btnBold"))->trigger();
    frame->ApplyFontSize(QStringLiteral("6"));
    frame->SetTextColour(QColor(0x12, 0x34, 0x56));
    QTest::keyClicks(edit, QStringLiteral(" big"));
    QTest::keyClick(edit, Qt::Key_Return);
    frame->Action(QStringLiteral("btnCenter"))->trigger();
    frame->ToggleList(false);
    QTest::keyClicks(edit, QStringLiteral("item"));
    frame->InsertRule();
    frame->InsertImage(picture);
    frame->SetBodyColour(QColor(255, 0, 0));

    // The toolbar reads the format at the cursor.
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(edit->document()->find(QStringLiteral("strong")).position() - 2);
    edit->setTextCursor(cursor);
    QVERIFY(frame->Action(QStringLiteral("btnBold"))->isChecked());
    QCOMPARE(frame->FontSizeBox()->currentText(), QStringLiteral("3"));
    cursor.setPosition(edit->document()->find(QStringLiteral("big")).position() - 1);
    edit->setTextCursor(cursor);
    QVERIFY(!frame->Action(QStringLiteral("btnBold"))->isChecked());
    QCOMPARE(frame->FontSizeBox()->currentText(), QStringLiteral("6"));
    cursor.setPosition(edit->document()->find(QStringLiteral("item")).position() - 1);
    edit->setTextCursor(cursor);
    QVERIFY(frame->Action(QStringLiteral("btnBullet"))->isChecked());
    QVERIFY(frame->Action(QStringLiteral("btnCenter"))->isChecked());
    QVERIFY(!frame->Action(QStringLiteral("btnAlignLeft"))->isChecked());
    QVERIFY(PictureLoaded(edit->document(), picture));
    // A size the boxes do not have is added as an item.
    cursor.setPosition(0);
    edit->setTextCursor(cursor);
    QTextCharFormat odd;
    odd.setFontPointSize(11);
    edit->mergeCurrentCharFormat(odd);
    QCOMPARE(frame->FontSizeBox()->currentText(), QStringLiteral("11pt"));

    window->Savebutclick();
    const QStringList drafts = home.MessageFiles(kFolderDrafts);
    QCOMPARE(drafts.size(), 1);
    const QString saved = ToQt(home.Folder(kFolderDrafts)) + drafts.front();
    const QString reading = PythonReading(saved);
    QVERIFY2(reading.contains(QStringLiteral("default.defects=\n")), qPrintable(reading));
    QVERIFY2(reading.contains(QStringLiteral("default.content_ids=<my pic.png>")), qPrintable(reading));
    QVERIFY(reading.contains(QStringLiteral("cid:my pic.png")));
    QVERIFY(reading.contains(QStringLiteral("bgcolor=\"#ff0000\""), Qt::CaseInsensitive));
    QVERIFY(reading.contains(QStringLiteral("font-weight:700;\">strong")));
    QVERIFY(reading.contains(QStringLiteral("color:#123456")));
    QVERIFY(reading.contains(QStringLiteral("font-size:24pt")));
    QVERIFY(reading.contains(QStringLiteral("align=\"center\"")));
    QVERIFY(reading.contains(QStringLiteral("<ul")));
    QVERIFY(reading.contains(QStringLiteral("<hr")));

    // Opened again for editing: the picture shows from the message, the background is there.
    std::unique_ptr<TPelmoraMailForm> again(home.Open(ModeOpen, FromQt(saved), false));
    QVERIFY(again);
    QTextDocument* reopened = again->HTMLEdit1()->document();
    QVERIFY(reopened->toPlainText().contains(QStringLiteral("plain strong big")));
    const QStringList names = ImageNames(reopened);
    QCOMPARE(names.size(), 1);
    QVERIFY(PictureLoaded(reopened, names.front()));
    QCOMPARE(reopened->rootFrame()->frameFormat().background().color(), QColor(255, 0, 0));
    again->Savebutclick();
    const QString twice = PythonReading(saved);
    QCOMPARE(home.MessageFiles(kFolderDrafts).size(), 1);
    QVERIFY2(twice.contains(QRegularExpression(QStringLiteral("default.content_ids=<[^|\n]*my_pic.png>\n"))),
             qPrintable(twice));
    QVERIFY(twice.contains(QStringLiteral("bgcolor=\"#ff0000\""), Qt::CaseInsensitive));
}

void TComposeWindowTest::BackgroundPictureTravelsWithTheMessage() {
    THome home;
    QVERIFY(home.Create());
    QTemporaryDir pictures;
    const QString tile = WritePicture(pictures.path() + "/tile.png", QColor(250, 240, 200));
    std::unique_ptr<TPelmoraMailForm> window(home.Open(ModeNew, "", false));
    QVERIFY(window);
    window->Form().HtmlVisible = true;
    window->ShowState();
    window->ToCombo()->setText(QStringLiteral("zoe@example.net"));
    THTMLEdit* frame = window->HtmlFrame();
    QTest::keyClicks(frame->Editor(), QStringLiteral("on paper"));
    frame->SetBodyColour(QColor(0, 0, 255));
    frame->SetBodyImage(tile);
    QVERIFY(frame->Document().contains(QStringLiteral("background=\"") + tile + "\""));
    QVERIFY(!frame->Document().contains(QStringLiteral("bgcolor")));
    QVERIFY(frame->Editor()->document()->toPlainText().contains(QStringLiteral("on paper")));
    window->Savebutclick();
    const QString saved = ToQt(home.Folder(kFolderDrafts)) + home.MessageFiles(kFolderDrafts).front();
    const QString reading = PythonReading(saved);
    QVERIFY2(reading.contains(QStringLiteral("default.content_ids=<tile.png>")), qPrintable(reading));
    QVERIFY(reading.contains(QStringLiteral("background=\"cid:tile.png\"")));

    std::unique_ptr<TPelmoraMailForm> again(home.Open(ModeOpen, FromQt(saved), true));
    QVERIFY(again);
    const QTextFrameFormat root = again->Reader()->document()->rootFrame()->frameFormat();
    QCOMPARE(root.background().style(), Qt::TexturePattern); // the picture, as the page's paper
    QVERIFY(PictureLoaded(again->Reader()->document(), QStringLiteral("cid:tile.png")));
}

void TComposeWindowTest::ModifiedWindowAsksAndSaveTwiceKeepsOneDraft() {
    THome home;
    QVERIFY(home.Create());
    std::unique_ptr<TPelmoraMailForm> window(home.Open(ModeNew, "", false));
    QVERIFY(window);
    window->ToCombo()->setText(QStringLiteral("Zoë (zoe@example.net)"));
    window->Subjecit()->setText(QStringLiteral("Twice"));
    window->RichEdit1()->setPlainText(QStringLiteral("first"));
    window->Savebutclick();
    window->RichEdit1()->setPlainText(QStringLiteral("second"));
    window->Savebutclick();
    QCOMPARE(home.MessageFiles(kFolderDrafts).size(), 1);
    QFile index(ToQt(home.Folder(kFolderDrafts)) + "tree.lst");
    QVERIFY(index.open(QIODevice::ReadOnly));
    const QByteArray rows = index.readAll();
    QCOMPARE(rows.count("Twice"), qsizetype(1));
    QVERIFY(!window->Form().Modified);

    // Unchanged since the Save: no question. Changed: the question, and No writes nothing.
    window->RichEdit1()->setPlainText(QStringLiteral("third"));
    QVERIFY(window->Form().Modified);
    const size_t asked = home.Ui.Questions.size();
    home.Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    window->close();
    QCOMPARE(home.Ui.Questions.size(), asked + 1);
    QCOMPARE(home.Ui.Questions.back().Text, home.Shell->Text(4, 21));
    QVERIFY(window->CloseAsked());
    const QString draft = ToQt(home.Folder(kFolderDrafts)) + home.MessageFiles(kFolderDrafts).front();
    QVERIFY(!PythonReading(draft).contains(QStringLiteral("third")));

    std::unique_ptr<TPelmoraMailForm> viewer(home.Open(ModeOpen, FromQt(draft), true));
    QVERIFY(viewer);
    const size_t before = home.Ui.Questions.size();
    viewer->close();
    QCOMPARE(home.Ui.Questions.size(), before);
}

void TComposeWindowTest::AttachmentsWindowReadOnlyInViewMode() {
    THome home;
    QVERIFY(home.Create());
    const std::string file = home.Folder(kFolderInbox) + "2.eml";
    const QString script = QStringLiteral(
        "import sys\nfrom email.message import EmailMessage\nm=EmailMessage()\n"
        "m['From']='a@example.net'\nm['To']='me@example.org'\nm['Subject']='files'\n"
        "m.set_content('see files')\n"
        "m.add_attachment(b'%PDF-1.4\\n', maintype='application', subtype='pdf', filename='plan.pdf')\n"
        "open(sys.argv[1],'wb').write(bytes(m))\n");
    Run(QStringLiteral("python3"), {QStringLiteral("-c"), script, ToQt(file)});
    std::unique_ptr<TPelmoraMailForm> window(home.Open(ModeOpen, file, true));
    QVERIFY(window);
    TAttachmentsform attachments(window.get(), *home.Shell, window->Form().Message,
                                 window->Form().WorkDir(), true);
    QCOMPARE(attachments.attachments()->count(), 1);
    QVERIFY(!attachments.Button(QStringLiteral("Selectbut"))->isEnabled());
    QVERIFY(!attachments.Button(QStringLiteral("RemBut"))->isEnabled());
    QVERIFY(attachments.Button(QStringLiteral("SaveBut"))->isEnabled());
    attachments.RemButClick();
    QCOMPARE(attachments.attachments()->count(), 1);
    QVERIFY(!attachments.AttachmentsChanged());
}

void TComposeWindowTest::HostileHtmlOpensPromptlyAndNothingIsLost() {
    THome home;
    QVERIFY(home.Create());
    struct TCase {
        const char* Name;
        QByteArray Body;
        const char* Visible;
    };
    QByteArray huge = "<html><body>";
    const QByteArray paragraph = "<p>Row of a very long report <b>with</b> <a href=\"http://x.example/\">links</a>.</p>\n";
    while (huge.size() < 20 * 1024 * 1024)
        huge += paragraph;
    huge += "<p>THE END</p></body></html>";
    const TCase cases[] = {
        {"nested", "<html><body>" + QByteArray("<div><font>").repeated(10000) + "deep inside" +
                       QByteArray("</font></div>").repeated(10000) + "</body></html>",
         "deep inside"},
        {"huge", huge, "Row of a very long report"},
        {"active", "<html><body><script>document.write('SCRIPT RAN')</script>"
                   "<form action=\"http://127.0.0.1:9/\"><input value=\"x\"></form>"
                   "<iframe src=\"http://127.0.0.1:9/frame\"></iframe>"
                   "<img src=\"https://127.0.0.1:9/a.png\"><p>visible text</p></body></html>",
         "visible text"},
    };
    for (const TCase& item : cases) {
        const std::string file = home.Folder(kFolderInbox) + item.Name + ".eml";
        QFile out(ToQt(file));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("From: x@example.net\r\nTo: me@example.org\r\nSubject: hostile\r\nMIME-Version: 1.0\r\n"
                  "Content-Type: text/html; charset=utf-8\r\n\r\n");
        out.write(item.Body);
        out.close();
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<TPelmoraMailForm> window(home.Open(ModeOpen, file, true));
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        qInfo("%s: %lld ms to open and show", item.Name, timer.elapsed());
        TMessageView* view = window->ViewFrame();
        const QString shown = view->Browser()->document()->toPlainText();
        QVERIFY2(shown.contains(QString::fromLatin1(item.Visible)), item.Name);
        QVERIFY(!shown.contains(QStringLiteral("SCRIPT RAN")));
        QVERIFY(view->Bar()->isVisible());
        if (QByteArray(item.Name) != "active")
            QVERIFY(view->Reduced());
        // What is shown is shortened; the stored message and its source are whole.
        QCOMPARE(QFileInfo(ToQt(file)).size(), qint64(out.size()));
        if (QByteArray(item.Name) == "huge")
            QVERIFY(ToQt(window->Form().HtmlText).endsWith(QStringLiteral("THE END</p></body></html>")));
    }
}

void TComposeWindowTest::TypingInALargeHtmlBodyStaysCheap() {
    THome home;
    QVERIFY(home.Create());
    THTMLEdit frame(nullptr, *home.Shell);
    QString html = QStringLiteral("<html><body>");
    while (html.size() < 1024 * 1024)
        html += QStringLiteral("<p>Some <b>bold</b> and <i>italic</i> words of a long letter.</p>");
    frame.SetDocument(html + QStringLiteral("</body></html>"));
    frame.resize(700, 500);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.Editor()->moveCursor(QTextCursor::End);
    QElapsedTimer timer;
    timer.start();
    QTest::keyClicks(frame.Editor(), QStringLiteral("typed at the end of a long letter"));
    const qint64 ms = timer.elapsed();
    qInfo("33 keys in a 1 MB HTML body: %lld ms", ms);
    QVERIFY(frame.Editor()->document()->toPlainText().endsWith(QStringLiteral("typed at the end of a long letter")));
}

void TComposeWindowTest::PrintsHeaderAndBodyToPdf() {
    if (QProcess::execute(QStringLiteral("pdftotext"), {QStringLiteral("-v")}) < 0)
        QSKIP("pdftotext is not installed");
    // The page header gives the date in local time.
    qputenv("TZ", "UTC");
    THome home;
    QVERIFY(home.Create());
    const std::string file = home.Folder(kFolderInbox) + "3.eml";
    Run(QStringLiteral("python3"), {QStringLiteral(PELMORA_TEST_DATA "/compose/write_related.py"),
                                    ToQt(file), QStringLiteral("http://127.0.0.1:9/none.png")});
    std::unique_ptr<TPelmoraMailForm> window(home.Open(ModeOpen, file, true));
    QVERIFY(window);
    QTemporaryDir out;
    const QString pdf = out.path() + "/message.pdf";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    window->PrintTo(printer);
    const QString text = Run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    for (const QString& expected :
         {QStringLiteral("03-03-2026 13:05:09"), QStringLiteral("Zoë Brontë (zoe@example.net)"),
          QStringLiteral("me@example.org"), QStringLiteral("Lighthouse Keepers Ltd"),
          QStringLiteral("Harbour photos – Grüße"), QStringLiteral("The harbour at dawn")})
        QVERIFY2(text.contains(expected), qPrintable(expected + " not in:\n" + text));
}

QTEST_MAIN(TComposeWindowTest)
#include "compose_window_test.moc"
