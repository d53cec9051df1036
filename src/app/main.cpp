// The pelmora executable: finds the data home ($PELMORA_HOME, --home DIR, else the XDG data
// directory), fills the texts table before any window exists, creates the main window and
// runs the event loop. A data directory that cannot be created ends the program with 99.
//
// Extra option for checking the window: --screenshot FILE saves a picture of the main window
// once it is up, then closes it.

#include "shell/directories.h"
#include "shell/shell_state.h"
#include "store/workspace.h"
#include "ui/main_form.h"
#include "ui/pelmora_application.h"
#include "ui/qt_ui_services.h"
#include "ui/text_convert.h"

#include <QTimer>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace pelmora;
    TPelmoraApplication app(argc, argv);

    std::vector<std::string> rawArgs;
    for (int i = 1; i < argc; ++i)
        rawArgs.emplace_back(argv[i]);
    TStartArguments args = ParseStartArguments(rawArgs);
    QString screenshot;
    for (auto it = args.Others.begin(); it != args.Others.end(); ++it) {
        if (*it == "--screenshot" && std::next(it) != args.Others.end()) {
            screenshot = ToQt(*std::next(it));
            args.Others.erase(it, std::next(it, 2));
            break;
        }
    }

    TShellOptions options;
    options.ProgramDir = ResolveDataHome(args.Home);
    options.AutoRunCommand.push_back(FromQt(QCoreApplication::applicationFilePath()));
    if (args.Home) {
        options.AutoRunCommand.push_back("--home");
        options.AutoRunCommand.push_back(options.ProgramDir);
    }

    TQtUiServices ui(&app);
    TShell shell(options, ui);
    shell.LoadMessageTexts();
    ui.SetTexts(DialogTextsFrom(shell.Texts()));

    TWorkspace workspace(shell);
    TMainForm form(shell, workspace, ui);
    app.SetRecoveryHandler([&form] { form.RecoverFromError(); });
    const TCreateResult created = form.FormCreate();
    if (!created.Ok)
        return created.ExitCode;
    form.show();

    if (!screenshot.isEmpty()) {
        QTimer::singleShot(1500, &form, [&form, screenshot] {
            if (form.Shell().FirstActivation)
                form.FormActivate();
            form.grab().save(screenshot);
            form.close();
        });
    }
    const int code = app.exec();
    app.SetRecoveryHandler(nullptr);
    return code;
}
