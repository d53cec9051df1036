#pragma once
// TMainForm: the main window. Left the account tree with its status bar, right the project
// tree above the message list, the message buttons with the busy animation and the message
// status bar. The window holds widgets only: the state and every decision live in TShell
// (and the store's workspace); the window copies values between them and its widgets and
// forwards the user's commands.

#include "shell/shell_state.h"
#include "store/workspace.h"
#include "ui/markup_tree.h"
#include "ui/models/message_list_model.h"
#include "ui/qt_ui_services.h"

#include <QHash>
#include <QList>
#include <QCoreApplication>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QSystemTrayIcon;
class QActionGroup;
class QLabel;
class QMenu;
class QToolButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QTreeView;

namespace pelmora {

class TFolderView;
class TMailMenu;
class TMailProgressForm;
struct TWindowStepHooks;
class TTransferGate;
class TTransferRun;
enum class TTransferCommand;
class TSplashScreen;

// The property an action carries once a command is bound to it; items without one stay greyed.
inline constexpr const char* kBoundProperty = "pelmoraBound";

// The smallest size the main window opens at where the screen allows: both trees and every
// list column are whole.
inline constexpr int kMainWindowMinWidth = 1200;
inline constexpr int kMainWindowMinHeight = 800;
// The window's size from the stored one: at least the smallest size, at most `screen`.
QSize MainWindowSize(const QSize& stored, const QRect& screen);
// A stored font size (counted from the program's default) at the desktop's font size.
int ShownFontSize(int stored, int desktop);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Pelmora by Sorvath";

    TMainForm(TShell& shell, TWorkspace& workspace, TQtUiServices& ui, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The creation steps: the core's FormCreate, then menus, captions, panels and fonts from
    // the shell. A directory that cannot be created gives Ok false and the exit code.
    TCreateResult FormCreate();
    // The activation steps; the first activation's part runs once.
    void FormActivate();
    // The close steps; false when closing is refused.
    bool FormClose();
    // Makes the window usable again after an error no handler caught.
    void RecoverFromError();
    // Ends the program after the window closed during a transfer run: the run returns to the
    // event loop only after its last steps, and nothing may be left behind to wait on it.
    // Tests replace it.
    std::function<void()> EndProcess = [] { QCoreApplication::exit(0); };

    // The window list of the "View" menu: composition windows register themselves here.
    void AddWindowItem(QWidget* window);
    void RemoveWindowItem(QWidget* window);
    QList<QWidget*> ListedWindows() const;
    bool CloseAllWindowsRequested() const { return CloseAllRequested; }

    // Copies the shell's check marks, captions, fonts and timers into the widgets.
    void SyncFromShell();
    // Copies the panel and window sizes into the shell.
    void StorePanelSizes();

    // Widgets, for the layers that fill them and for tests.
    QAction* Action(const QString& component) const { return Actions.value(component); }
    QMenu* Menu(const QString& component) const { return Menus.value(component); }
    const QHash<QString, QAction*>& AllActions() const { return Actions; }
    TMarkupTree* FolderTree() const { return FolderTreeView; }
    TMarkupTree* ProjectTree() const { return ProjectTreeView; }
    QTreeView* MessageList() const { return MessageListView; }
    TMessageListModel* MessageListModel() const { return ListModel; }
    QStatusBar* FolderStatus() const { return FolderStatusBar; }
    QStatusBar* MessageStatus() const { return MessageStatusBar; }
    QToolButton* MessageButton(const QString& name) const { return Buttons.value(name); }
    QLabel* AnimationPicture() const { return Animation; }
    QTimer* CollectMailTimer() const { return CollectMail; }
    QTimer* AnimatorTimer() const { return GraphAnimator; }
    TSplashScreen* Splash() const { return SplashWindow; }
    QMenu* FolderTreePopup() const { return FolderTreePOPUP; }
    QMenu* ProjectTreePopup() const { return ProjectTreePOPUP; }
    TFolderView& Folders() { return *FolderView; }
    TMailMenu* MailMenu() const { return MailMenuPopup; }
    QTimer* LittleJobs() const { return LittleJobsTimer; }
    TTransferRun& Transfer() { return *TransferRun; }
    TMailProgressForm* ProgressWindow() const;
    // Starts a transfer command under the data home's transfer lock.
    void StartTransfer(TTransferCommand command);
    TShell& Shell() { return ShellState; }
    TWorkspace& Workspace() { return Work; }

Q_SIGNALS:
    // "Close ALL windows" was chosen; listed windows close themselves on it.
    void CloseAllWindows();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // main_panels.cpp
    void BuildPanels();
    void ApplyPanelSizes();
    void ApplyFonts();
    void ApplyListHeadings();
    // main_menus.cpp
    void BuildMenus();
    void BuildPopupMenus();
    void ApplyCaptions();
    void SyncChecks();
    QAction* AddItem(QMenu* menu, const QString& component, const QKeySequence& shortcut = {});
    QAction* AddCheckItem(QMenu* menu, const QString& component, std::function<void()> click);
    QAction* AddLaterItem(QMenu* menu, const QString& component, const QKeySequence& shortcut = {});
    void HelpFileClick();
    void CreditsClick();
    // main_windows.cpp: the window list and its keys
    void RebuildWindowMenu();
    void ShowListedWindow(QWidget* window);
    void CascadeWindows();
    void ShowNextWindow();
    // main_trees.cpp: the two trees on the workspace
    void ConnectTrees();
    void ConnectTreeCommands();
    void ShowFolderTreePopup(const QPoint& at);
    void ShowProjectTreePopup(const QPoint& at);
    void UpdateTreeMenus();
    void AllowItem(const char* name, bool available);
    // main_message_list.cpp: the message list over the core's folder view
    void ConnectMessageList();
    void MirrorSelectionToCore();
    void MirrorSelectionFromCore();
    void ApplyMenuState();
    void ShowMailMenu(const QPoint& at);
    void MailMenuCommand(const QString& name);
    void AddSendersToBlackListClick();
    // main_transfer.cpp: transfer runs, the progress window, the mail log, new-mail signal
    void ConnectTransfer();
    TMailProgressForm* NewProgressWindow();
    void ShowTransferClick();
    void PurgeMailLogClick();
    void NewMailSignalChanged();
    // main_busy.cpp: the window while a command runs
    void ConnectBusyState();
    void ApplyBusyState();
    // main_form.cpp
    bool CloseSteps();
    TWindowStepHooks StepHooks();
    void ApplyCollectTimer();
    void AnimatorTick();
    void InstallBuiltInFrames();
    void SetTreesEnabled(bool enabled);
    bool LongLoopRunning() const;

    TShell& ShellState;
    TWorkspace& Work;
    TQtUiServices& Ui;
    QHash<QString, QAction*> Actions;
    QHash<QString, QMenu*> Menus;
    QHash<QString, QToolButton*> Buttons;
    QActionGroup* ComposeGroup = nullptr;
    QActionGroup* AnsweringGroup = nullptr;
    QMenu* ViewMenu = nullptr;
    QMenu* FolderTreePOPUP = nullptr;
    QMenu* ProjectTreePOPUP = nullptr;
    QSplitter* MainSplitter = nullptr;
    QSplitter* RightSplitter = nullptr;
    QWidget* FolderPanelParent = nullptr;
    QWidget* MessageListPanel = nullptr;
    TMarkupTree* FolderTreeView = nullptr;
    TMarkupTree* ProjectTreeView = nullptr;
    QTreeView* MessageListView = nullptr;
    TMessageListModel* ListModel = nullptr;
    QStatusBar* FolderStatusBar = nullptr;
    QStatusBar* MessageStatusBar = nullptr;
    QLabel* Animation = nullptr;
    QTimer* CollectMail = nullptr;
    QTimer* GraphAnimator = nullptr;
    TSplashScreen* SplashWindow = nullptr;
    std::unique_ptr<TFolderView> FolderView;
    TMailMenu* MailMenuPopup = nullptr;
    QTimer* LittleJobsTimer = nullptr;
    bool MirroringSelection = false;
    std::unique_ptr<TTransferRun> TransferRun;
    QPointer<TMailProgressForm> ProgressForm;
    std::unique_ptr<TTransferGate> TransferGate;
    QList<QPointer<QAction>> BusyDisabled; // actions switched off while a command runs
    QTimer* YouHaveMailTimer = nullptr;
    QSystemTrayIcon* NewMailTray = nullptr;
    bool ListRefreshPending = false;
    QList<QPointer<QWidget>> WindowList;
    bool CloseAllRequested = false;
    bool Created = false;
    bool Closed = false;
    bool SizesApplied = false;
    bool InClose = false;
    bool Retitling = false; // a title is being cleaned of its accelerator marks
    bool ClosedDuringRun = false;
    bool EscPressedHere = false; // the last Esc went down in this window
};

} // namespace pelmora
