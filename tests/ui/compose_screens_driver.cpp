// Screenshots of the message windows for a look by eye: a composition window with the HTML
// toolbar at work, and a received message with its remote-pictures bar. Not a test; run it
// under xvfb-run: compose_screens_driver OUT_DIR MESSAGE.eml
// The message is read from the given file; the data home is a temporary directory.

#include "compose/compose_form.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/store_layout.h"
#include "ui/compose_form.h"
#include "ui/html_edit.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>

using namespace pelmora;
using namespace pelmora::compose;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir home;
    TScriptedUi ui;
    TShellOptions options;
    options.ProgramDir = FromQt(home.path()) + "/";
    options.ChangeWorkingDirectory = false;
    TShell shell(options, ui);
    if (!shell.FormCreate().Ok)
        return 1;
    EnsureProjectDirectories(shell.Dirs().Store, 1001);
    TComposeContext context;
    context.ProjectNumber = 1001;
    context.ProjectName = "Work";
    context.TempDir = shell.Dirs().Temp;
    context.StoreDir = shell.Dirs().Store;
    context.Account.AccountName = "Me Myself (me@example.org)";
    context.AccountNames = {context.Account.AccountName};

    auto open = [&](TComposeMode mode, const std::string& file, bool view) {
        auto form = std::make_unique<TComposeForm>();
        form->Context = context;
        form->Mode = mode;
        form->ViewOnly = view;
        form->MessageFile = file;
        PrepareForm(*form, shell);
        form->HtmlVisible = !view;
        auto* window = new TPelmoraMailForm(nullptr, shell, std::move(form));
        window->ShowState();
        window->show();
        (void)QTest::qWaitForWindowExposed(window);
        return window;
    };

    TPelmoraMailForm* compose = open(ModeNew, "", false);
    compose->ToCombo()->setText(QStringLiteral("Zoë Brontë (zoe@example.net)"));
    compose->Subjecit()->setText(QStringLiteral("Harbour photos"));
    THTMLEdit* frame = compose->HtmlFrame();
    QTextEdit* edit = frame->Editor();
    edit->setFocus();
    frame->ApplyStyle(1);
    QTest::keyClicks(edit, QStringLiteral("Harbour at dawn"));
    QTest::keyClick(edit, Qt::Key_Return);
    frame->ApplyStyle(0);
    QTest::keyClicks(edit, QStringLiteral("Dear Zoe, here is "));
    frame->Action(QStringLiteral("btnBold"))->trigger();
    QTest::keyClicks(edit, QStringLiteral("the picture"));
    frame->Action(QStringLiteral("btnBold"))->trigger();
    frame->SetTextColour(QColor(0x80, 0, 0));
    QTest::keyClicks(edit, QStringLiteral(" you asked for."));
    QTest::keyClick(edit, Qt::Key_Return);
    frame->ToggleList(false);
    QTest::keyClicks(edit, QStringLiteral("first point"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, QStringLiteral("second point"));
    QTest::keyClick(edit, Qt::Key_Return);
    frame->ToggleList(false);
    frame->InsertRule();
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(QColor(30, 120, 200));
    const QString picturePath = home.path() + "/harbour.png";
    picture.save(picturePath);
    frame->InsertImage(picturePath);
    frame->SetBodyColour(QColor(0xff, 0xf8, 0xe8));
    QTest::qWait(200);
    compose->grab().save(out + "/compose-html-toolbar.png");
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(edit->document()->find(QStringLiteral("picture")).position() - 2);
    edit->setTextCursor(cursor);
    QTest::qWait(100);
    compose->grab().save(out + "/compose-cursor-in-bold.png");

    TPelmoraMailForm* view = open(ModeOpen, argv[2], true);
    QTest::qWait(200);
    view->grab().save(out + "/compose-view-remote-bar.png");
    return 0;
}
