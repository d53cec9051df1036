// Mail transfer from the main window: the "Mail Commands" menu and the account popup start
// runs under the data home's transfer lock, the collection timer starts unattended ones, the
// progress window follows a run, the "Display" menu shows and purges the mail log, and the
// new-mail signal blinks a tray icon where the desktop has a tray.

#include "ui/main_form.h"

#include "processing/mail_log.h"
#include "processing/transfer_gate.h"
#include "processing/transfer_run.h"
#include "shell/settings.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "store/account_settings.h"
#include "store/folder_listing.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "ui/artwork.h"
#include "ui/black_list_form.h"
#include "ui/mail_progress_form.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDate>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

namespace pelmora {

void TMainForm::ConnectTransfer() {
    TransferRun = std::make_unique<TTransferRun>(Work);
    TransferGate = std::make_unique<TTransferGate>(*TransferRun);
    TTransferRunHooks& hooks = TransferRun->Hooks;
    hooks.ShowProgressWindow = [this] { ShowTransferClick(); };
    hooks.CreateProgressWindow = [this]() -> TTransferProgressObserver* {
        return NewProgressWindow();
    };
    hooks.FreeProgressWindow = [this] {
        if (ProgressForm)
            ProgressForm->close();
    };
    hooks.ReselectAccount = [this] { Work.FolderTreeClick(); };
    hooks.SetCollectTimer = [this](bool running) {
        if (running)
            ApplyCollectTimer();
        else
            CollectMail->stop();
    };
    hooks.StartLittleJobs = [this] {
        if (ListRefreshPending && !ShellState.TransferRunning) {
            ListRefreshPending = false;
            FolderView->RefreshList();
        }
        LittleJobsTimer->start(ShellState.LittleJobsInterval());
    };
    // Rows filed into the listed folder show once the run is over (a listing in the middle of
    // a run would be read again for every message).
    hooks.RowFiled = [this](int project, int folderCode, const TIndexRow&) {
        if (project == FolderView->ListedProject() && folderCode == FolderView->ListedFolder())
            ListRefreshPending = true;
        LittleJobsTimer->start(ShellState.LittleJobsInterval());
    };
    hooks.OutboxRowRemoved = [this](int project, const std::string&) {
        if (project == FolderView->ListedProject() && FolderView->ListedFolder() == kFolderOutbox)
            ListRefreshPending = true;
    };
    hooks.ShowTransferEnabled = [this](bool enabled) {
        if (QAction* action = Actions.value(QStringLiteral("MenuShowTransfer")))
            action->setEnabled(enabled);
    };
    ShellState.CollectMailRunHook = [this] { StartTransfer(TTransferCommand::CollectMailTimer); };

    const std::pair<const char*, TTransferCommand> commands[] = {
        {"MenuSendReceiveforAll", TTransferCommand::SendReceiveAll},
        {"MenuSendRetrieveMailforSelected", TTransferCommand::SendRetrieveSelected},
        {"MenuRetrieveMailforAll", TTransferCommand::RetrieveAll},
        {"MenuRetrieveMailforSelected", TTransferCommand::RetrieveSelected},
        {"MenuSendMailforAllAccounts", TTransferCommand::SendAll},
        {"MenuSendMailforSelectedAccount", TTransferCommand::SendSelected},
        {"FMSendandRetrieve", TTransferCommand::SendRetrieveSelected},
        {"FMRetrieveMail", TTransferCommand::RetrieveSelected},
        {"FMSendMail", TTransferCommand::SendSelected},
    };
    for (const auto& [name, command] : commands) {
        QAction* action = Actions.value(QString::fromLatin1(name));
        if (!action)
            continue;
        action->setEnabled(true);
        const TTransferCommand run = command;
        connect(action, &QAction::triggered, this, [this, run] { StartTransfer(run); });
    }
    auto bind = [this](const char* name, auto click, bool enabled = true) {
        QAction* action = Actions.value(QString::fromLatin1(name));
        if (!action)
            return;
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, click);
    };
    bind(
        "MenuShowTransfer", [this] { ShowTransferClick(); }, false);
    bind("MenuShowlastMailLog", [this] { MenuShowlastMailLogClick(ShellState); });
    bind("MenuShowLogFile", [this] { MenuShowLogFileClick(ShellState); });
    bind("MenuPurgeMailLogFile", [this] { PurgeMailLogClick(); });
    bind("MenuShowBlackList", [this] {
        ShellState.Animation().Start();
        TBlackListWindow window(ShellState, this);
        window.exec();
        ShellState.Animation().Stop();
    });

    // The new-mail signal: the shell toggles its light; a tray icon shows it.
    YouHaveMailTimer = new QTimer(this);
    YouHaveMailTimer->setObjectName(QStringLiteral("YouHaveMailTimer"));
    YouHaveMailTimer->setInterval(kYouHaveMailIntervalMs);
    connect(YouHaveMailTimer, &QTimer::timeout, this, [this] { ShellState.YouHaveMailTick(); });
    ShellState.YouHaveMailChanged = [this] { NewMailSignalChanged(); };
    Work.Hooks.StopNewMailBlinking = [this] { ShellState.StopYouHaveMail(); };
}

void TMainForm::StartTransfer(TTransferCommand command) {
    if (TransferGate->Start(command) == TTransferStart::Locked &&
        command == TTransferCommand::CollectMailTimer)
        ApplyCollectTimer(); // try again at the next tick
}

TMailProgressForm* TMainForm::ProgressWindow() const {
    return ProgressForm;
}

TMailProgressForm* TMainForm::NewProgressWindow() {
    if (ProgressForm) {
        ProgressForm->close();
        delete ProgressForm;
    }
    auto* form =
        new TMailProgressForm(*TransferRun, TransferProgressCaptions(ShellState.Texts()), this);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->OnShowLog = [this] { MenuShowlastMailLogClick(ShellState); };
    ProgressForm = form;
    form->show();
    return form;
}

void TMainForm::ShowTransferClick() {
    if (ProgressForm) {
        ProgressForm->show();
        ProgressForm->raise();
        ProgressForm->activateWindow();
        return;
    }
    if (!ShellState.TransferRunning)
        return;
    TransferRun->AttachProgressWindow(NewProgressWindow());
}

void TMainForm::PurgeMailLogClick() {
    const TLogDate latest = PurgeDialogLatestDate(std::chrono::system_clock::now());
    const QDate yesterday(latest.Year, latest.Month, latest.Day);
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("DateTimePickForm"));
    dialog.setWindowTitle(QStringLiteral("Pelmora "));
    auto* layout = new QVBoxLayout(&dialog);
    auto* calendar = new QCalendarWidget(&dialog);
    calendar->setObjectName(QStringLiteral("MonthCalendar1"));
    calendar->setMaximumDate(yesterday);
    calendar->setSelectedDate(yesterday);
    auto* note = new QLabel(ToQt(PurgeDialogNote(ShellState)).trimmed(), &dialog);
    note->setWordWrap(true);
    auto* select = new QPushButton(ToQt(ShellState.Text(1, 337)), &dialog);
    connect(select, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(calendar);
    layout->addWidget(note);
    layout->addWidget(select, 0, Qt::AlignRight);
    dialog.exec();
    // The calendar's date when the dialog closes, however it was closed.
    const QDate chosen = calendar->selectedDate();
    MenuPurgeMailLogFileClick(ShellState, TLogDate{chosen.year(), chosen.month(), chosen.day()});
}

void TMainForm::NewMailSignalChanged() {
    const bool blinking = ShellState.YouHaveMailBlinking();
    if (blinking && !YouHaveMailTimer->isActive())
        YouHaveMailTimer->start();
    else if (!blinking)
        YouHaveMailTimer->stop();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!NewMailTray) {
        NewMailTray = new QSystemTrayIcon(this);
        NewMailTray->setObjectName(QStringLiteral("NewMailLight"));
        NewMailTray->setToolTip(ToQt(ShellState.Text(1, 60)));
        connect(NewMailTray, &QSystemTrayIcon::activated, this, [this] {
            showNormal();
            raise();
            activateWindow();
        });
    }
    if (!blinking) {
        NewMailTray->hide();
        return;
    }
    NewMailTray->setIcon(ShellState.ScrollLockLight() ? ApplicationIcon() : QIcon(BusyFrame(0)));
    NewMailTray->show();
}

} // namespace pelmora
