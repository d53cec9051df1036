// The pelmora-window executable: the program's windows, started by "pelmora" (main.cpp) with
// the arguments it was given. It finds the data home ($PELMORA_HOME, --home DIR, else the XDG
// data directory), fills the texts table before any window exists, creates the main window and
// runs the event loop. A data directory that cannot be created ends the program with 99.
//
// Extra option for checking the window: --screenshot FILE saves a picture of the main window
// once it is up, then closes it.
//
// --collect [--account N] [--send-only] runs the unattended transfer without any window, as
// "pelmora" does.
//
// One window per data home (single_instance.h): a second start brings the first window up
// and ends with 0.

#include "collect_run.h"
#include "shell/directories.h"
#include "shell/shell_state.h"
#include "shell/transfer_lock.h"
#include "store/workspace.h"
#include "ui/main_form.h"
#include "ui/pelmora_application.h"
#include "ui/qt_ui_services.h"
#include "ui/single_instance.h"
#include "ui/text_convert.h"
#include "window_program.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <iostream>
#include <string>
#include <vector>

namespace {

// How long a second start tries to reach the running window.
constexpr int kHandOverMs = 10000;

} // namespace

int main(int argc, char** argv) {
    using namespace pelmora;
    TStartArguments args = ParseStartArguments(argc, argv);

    if (const std::optional<int> status = RunCollectIfAsked(args))
        return *status;

    TPelmoraApplication app(argc, argv);
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

    // One window per data home: a second start brings the running window up and ends.
    TSingleInstance instance(options.ProgramDir);
    if (!instance.Acquire()) {
        switch (instance.HandOverOrAcquire(kHandOverMs)) {
        case TSingleInstance::THandOver::HandedOver:
            return 0;
        case TSingleInstance::THandOver::NoAnswer:
            std::cerr << "pelmora: a Pelmora window is already open on " << options.ProgramDir
                      << " but does not answer\n";
            return 1;
        case TSingleInstance::THandOver::Acquired:
            break;
        }
    }
    QPointer<TMainForm> shown;
    instance.Listen([&shown] {
        if (!shown)
            return; // still starting: it comes up by itself
        shown->showNormal();
        shown->raise();
        shown->activateWindow();
    });
    // The autostart entry starts the program as users do, through "pelmora"; a data home
    // chosen by $PELMORA_HOME or --home goes into it too.
    std::string launcher = LauncherProgramPath();
    if (launcher.empty())
        launcher = FromQt(QCoreApplication::applicationFilePath());
    options.AutoRunCommand = AutoRunCommandFor(launcher, options.ProgramDir);

    TQtUiServices ui(&app);
    TShell shell(options, ui);
    shell.LoadMessageTexts();
    ui.SetTexts(DialogTextsFrom(shell.Texts()));

    TWorkspace workspace(shell);
    // An unattended run of another process may be appending rows right now.
    workspace.RepairIndexesAtStart = TTransferLock::IsFree(options.ProgramDir);
    TMainForm form(shell, workspace, ui);
    app.SetRecoveryHandler([&form] { form.RecoverFromError(); });
    const TCreateResult created = form.FormCreate();
    if (!created.Ok)
        return created.ExitCode;
    form.show();
    shown = &form;

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
