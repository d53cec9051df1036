#include "ui/main_form.h"

#include "ui/artwork.h"
#include "processing/transfer_gate.h"
#include "processing/transfer_run.h"
#include "processing/window_steps.h"
#include "store/folder_listing.h"
#include "ui/mail_progress_form.h"
#include "ui/message_list_menu.h"
#include "ui/splash_screen.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QSystemTrayIcon>
#include <QTreeView>

#include <exception>

namespace pelmora {

TMainForm::TMainForm(TShell& shell, TWorkspace& workspace, TQtUiServices& ui, QWidget* parent)
    : QMainWindow(parent), ShellState(shell), Work(workspace), Ui(ui) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(ApplicationIcon());
    Ui.SetOwner(this);
    BuildPanels();
    BuildMenus();

    CollectMail = new QTimer(this);
    CollectMail->setObjectName(QStringLiteral("CollectMail"));
    connect(CollectMail, &QTimer::timeout, this, [this] {
        ShellState.CollectMailTick();
        ApplyCollectTimer();
    });
    GraphAnimator = new QTimer(this);
    GraphAnimator->setObjectName(QStringLiteral("graphanimator"));
    GraphAnimator->setInterval(kAnimationIntervalMs);
    connect(GraphAnimator, &QTimer::timeout, this, &TMainForm::AnimatorTick);
    ShellState.CollectTimerChanged = [this] { ApplyCollectTimer(); };
    ShellState.PurgeMailLogHook = [this] { PurgeMailLogClick(); };

    // Esc released anywhere in the window asks every long loop to stop; the key still reaches
    // the widget that has it (an in-place editor cancels on it). Ctrl+Tab cycles the windows.
    qApp->installEventFilter(this);
    auto* nextWindow = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    nextWindow->setContext(Qt::ApplicationShortcut); // from a message window as well
    connect(nextWindow, &QShortcut::activated, this, &TMainForm::ShowNextWindow);

    ConnectTrees();
    ConnectMessageList();
    ConnectTransfer();
    ConnectBusyState();

    SplashWindow = new TSplashScreen([this] { return !ShellState.StartingUp; }, this);
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    // The model and the menu observe the folder view's list, which goes first.
    ListModel->SetList(nullptr);
    delete MailMenuPopup;
    MailMenuPopup = nullptr;
    LittleJobsTimer->stop();
    // The progress window observes the run, which goes before the window's children.
    delete ProgressForm;
    ShellState.CollectMailRunHook = nullptr;
    ShellState.YouHaveMailChanged = nullptr;
    ShellState.CollectTimerChanged = nullptr;
    ShellState.RestorePanelsTreeHook = nullptr;
    ShellState.PurgeMailLogHook = nullptr;
    Work.Hooks = TWorkspaceHooks();
    // The views observe the workspace's trees, which outlive this window.
    FolderTreeView->SetTree(nullptr);
    ProjectTreeView->SetTree(nullptr);
    Ui.SetOwner(nullptr);
    Ui.SetStatusBars(nullptr, nullptr);
    Ui.SetAnimationLabel(nullptr);
}

TCreateResult TMainForm::FormCreate() {
    ShellState.LoadMessageTexts();
    Ui.SetTexts(DialogTextsFrom(ShellState.Texts()));
    SetTreesEnabled(false);
    const TCreateResult result = ShellState.FormCreate();
    if (!result.Ok)
        return result;
    InstallBuiltInFrames();
    ShellState.Animation().ShowFirstFrame(Ui);
    SplashWindow->ShowPicture(false);
    Work.FormCreateTrees();
    ApplyCaptions();
    ApplyPanelSizes();
    SyncFromShell();
    GraphAnimator->start();
    Created = true;
    return result;
}

void TMainForm::SyncFromShell() {
    SyncChecks();
    ApplyFonts();
    ApplyCollectTimer();
}

TWindowStepHooks TMainForm::StepHooks() {
    TWindowStepHooks hooks;
    hooks.HideSplash = [this] { SplashWindow->hide(); };
    hooks.EnableTrees = [this](bool enabled) { SetTreesEnabled(enabled); };
    hooks.MessageWindowsOpen = [this] { return !ListedWindows().isEmpty(); };
    hooks.CascadeMessageWindows = [this] { CascadeWindows(); };
    hooks.SendAllMail = [this] { StartTransfer(TTransferCommand::SendAll); };
    hooks.FreezeWindow = [this] {
        CollectMail->stop();
        GraphAnimator->stop();
        SetTreesEnabled(false);
        MessageListView->setEnabled(false);
    };
    hooks.StorePanelSizes = [this] { StorePanelSizes(); };
    hooks.ShowGoodbyePicture = [this] { SplashWindow->ShowPicture(true); };
    hooks.HideGoodbyePicture = [this] { SplashWindow->hide(); };
    return hooks;
}

void TMainForm::FormActivate() {
    ActivateMainWindow(Work, StepHooks());
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && Created && !Closed &&
        ShellState.FirstActivation) {
        // Run after the activation has been delivered: the first activation waits and asks.
        QTimer::singleShot(0, this, [this] {
            if (ShellState.FirstActivation)
                FormActivate();
        });
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // Captions of menu items become window titles of the dialogs they open ("&Copy",
    // "&Save to file"); a title shows no accelerator marks.
    if (event->type() == QEvent::WindowTitleChange && !Retitling && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
        auto* window = static_cast<QWidget*>(watched);
        const QString title = WindowTitleOf(window->windowTitle());
        if (title != window->windowTitle()) {
            Retitling = true;
            window->setWindowTitle(title);
            Retitling = false;
        }
    }
    // Esc stops a long loop of this window. One key stroke does one thing: the release of an
    // Esc that closed a pop-up or a dialog is not an abort, and with nothing running there is
    // nothing to stop (a stray abort would keep the folder captions from being updated).
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        watched->isWidgetType() && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        const bool here = static_cast<QWidget*>(watched)->window() == this;
        if (event->type() == QEvent::KeyPress) {
            EscPressedHere = here;
        } else {
            const bool pressedHere = EscPressedHere;
            EscPressedHere = false;
            if (here && pressedHere && LongLoopRunning())
                ShellState.AbortRequested = true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::LongLoopRunning() const {
    return ShellState.StartingUp || ShellState.TransferRunning || Work.Busy() ||
           (FolderView && (FolderView->ListBuilding() || FolderView->StateChangeBusy()));
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The splitters take their sizes once they have their own.
    if (!SizesApplied && Created) {
        SizesApplied = true;
        ApplyPanelSizes();
        // The first activation normally follows at once; a desktop that never activates the
        // window must not leave it with its trees disabled, so it runs after showing anyway.
        QTimer::singleShot(0, this, [this] {
            if (ShellState.FirstActivation && !Closed)
                FormActivate();
        });
    }
}

void TMainForm::ApplyCollectTimer() {
    const TCollectTimer& timer = ShellState.CollectTimer();
    // An interval of 0 never fires.
    if (timer.Enabled && timer.IntervalMs > 0) {
        CollectMail->setInterval(timer.IntervalMs);
        if (!CollectMail->isActive())
            CollectMail->start();
    } else {
        CollectMail->stop();
    }
}

void TMainForm::AnimatorTick() {
    if (ShellState.Animation().Running())
        ShellState.Animation().Tick(Ui);
}

void TMainForm::InstallBuiltInFrames() {
    // The busy-animation frames are data files of the skin directory; put the program's own
    // there when the directory has none, so a fresh data home animates too.
    const std::string& skin = ShellState.Dirs().Skin;
    if (skin.empty() || !QFileInfo(ToQt(skin)).isDir())
        return;
    TBusyAnimation& animation = ShellState.Animation();
    for (int frame = 0; frame < kAnimationFrames; ++frame) {
        const QString path = ToQt(animation.FramePath(frame));
        if (QFileInfo::exists(path))
            continue;
        QPixmap picture(BusyFrame(frame).size());
        picture.fill(palette().color(QPalette::Window));
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, BusyFrame(frame));
        painter.end();
        picture.save(path, "BMP");
    }
}

void TMainForm::SetTreesEnabled(bool enabled) {
    FolderTreeView->setEnabled(enabled);
    ProjectTreeView->setEnabled(enabled);
}

bool TMainForm::FormClose() {
    if (Closed)
        return true;
    // The closing steps pump events; a second close request meanwhile is not a second close.
    if (InClose)
        return false;
    InClose = true;
    const bool closed = CloseSteps();
    InClose = false;
    return closed;
}

bool TMainForm::CloseSteps() {
    Closed = CloseMainWindow(Work, StepHooks());
    return Closed;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    const bool duringRun = ShellState.TransferRunning && !Closed;
    if (!FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
    if (!duringRun || ClosedDuringRun)
        return;
    // The run is still on the stack below this close and ends at its next step. Its windows
    // go with the main window, and the program ends when the run has returned: the event
    // loops stop now, so the run's last pop-ups do not wait for anybody.
    ClosedDuringRun = true;
    if (ProgressForm)
        ProgressForm->close();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible() && window->isWindow() &&
            (window->parentWidget() == this || qobject_cast<QDialog*>(window)))
            window->close();
    }
    if (EndProcess)
        EndProcess();
}

void TMainForm::RecoverFromError() {
    ShellState.RecoverFromError();
    FolderTreeView->EndAllUpdates();
    ProjectTreeView->EndAllUpdates();
    for (QWidget* view :
         {static_cast<QWidget*>(MessageListView), static_cast<QWidget*>(FolderTreeView),
          static_cast<QWidget*>(ProjectTreeView)}) {
        view->setUpdatesEnabled(true);
        view->setEnabled(true);
    }
    Ui.SetBusyCursor(false);
    SplashWindow->hide();
}

} // namespace pelmora
