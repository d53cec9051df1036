// The menus of the main window and the two tree pop-up menus. Captions come from the shell's
// texts; commands of the settings and display menus go to the shell. Commands that act on
// accounts, projects, messages, address books, archives and transfers are listed with their
// captions and keys but stay disabled until their subsystem is attached to the window.

#include "ui/main_form.h"

#include "ui/legenda_form.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QActionGroup>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>
#include <QUrl>

namespace pelmora {

namespace {

constexpr const char* kTopMenus[] = {
    "MenuFile",     "MenuDisplay", "MenuSettings",     "MenuAccounts", "MenuAnsweringMachine",
    "MenuProjects", "MenuArchive", "MenuMailCommands", "MenuView",     "MenuHelp",
};

// The tree pop-up menus; nullptr marks a separator.
constexpr const char* kFolderTreePopup[] = {
    "FMSendandRetrieve",
    "FMRetrieveMail",
    "FMSendMail",
    nullptr,
    "FMAddNewProject",
    "FMRestoreProjectBackup",
    nullptr,
    "FMDefineFilterRules",
    "FMDeleteAccountandallFolders",
};

constexpr const char* kProjectTreePopup[] = {
    "PMAddNewFolder",
    "PMRemoveCustomFolder",
    "PMChangeName",
    "PMEmptyTrash",
    nullptr,
    "PMBackupProject",
    "PMDeleteProject",
    nullptr,
    "PMShowAddressBook",
    nullptr,
    "PMSelectAddressFromAddressbook",
    "PMEnterAddressManually",
    nullptr,
    "PMenuEditMainaddrr",
    "PMUpdatewMain",
};

} // namespace

QAction* TMainForm::AddItem(QMenu* menu, const QString& component, const QKeySequence& shortcut) {
    auto* action = new QAction(menu);
    action->setObjectName(component);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    menu->addAction(action);
    Actions.insert(component, action);
    return action;
}

QAction* TMainForm::AddLaterItem(QMenu* menu, const QString& component,
                                 const QKeySequence& shortcut) {
    QAction* action = AddItem(menu, component, shortcut);
    action->setEnabled(false);
    return action;
}

QAction* TMainForm::AddCheckItem(QMenu* menu, const QString& component,
                                 std::function<void()> click) {
    QAction* action = AddItem(menu, component);
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, click = std::move(click)] {
        click();
        SyncFromShell();
    });
    return action;
}

void TMainForm::BuildMenus() {
    QMenuBar* bar = menuBar();
    for (const char* top : kTopMenus) {
        QMenu* menu = bar->addMenu(QString());
        menu->setObjectName(QString::fromLatin1(top));
        Menus.insert(menu->objectName(), menu);
    }
    auto menu = [this](const char* name) { return Menus.value(QString::fromLatin1(name)); };
    auto command = [this](QMenu* m, const char* name, auto slot) {
        QAction* action = AddItem(m, QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, slot] {
            slot();
            SyncFromShell();
        });
        return action;
    };

    // File
    QMenu* file = menu("MenuFile");
    AddLaterItem(file, QStringLiteral("MenuPrint"), QKeySequence(Qt::CTRL | Qt::Key_P));
    file->addSeparator();
    QAction* exit = AddItem(file, QStringLiteral("MenuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    // Display
    QMenu* display = menu("MenuDisplay");
    AddLaterItem(display, QStringLiteral("MenuShowAddressBook"));
    AddLaterItem(display, QStringLiteral("MenuShowBlackList"));
    display->addSeparator();
    AddLaterItem(display, QStringLiteral("MenuShowlastMailLog"));
    AddLaterItem(display, QStringLiteral("MenuShowLogFile"));
    AddLaterItem(display, QStringLiteral("MenuPurgeMailLogFile"));
    struct TFontItems {
        const char* Bigger;
        const char* Smaller;
        TFontTarget Target;
    };
    const TFontItems fontItems[] = {
        {"MenuBiggerfont", "MenuSmallerFont", TFontTarget::FoldersTree},
        {"ProjectTreeBiggerFont", "ProjectTreeSmallerFont", TFontTarget::ProjectTree},
        {"MessageListBiggerFont", "MessageListSmallerFont", TFontTarget::MessageList},
    };
    for (const TFontItems& items : fontItems) {
        display->addSeparator();
        const TFontTarget target = items.Target;
        command(display, items.Bigger, [this, target] { ShellState.MenuBiggerFontClick(target); });
        command(display, items.Smaller,
                [this, target] { ShellState.MenuSmallerFontClick(target); });
    }
    display->addSeparator();
    command(display, "MenuRestoreFont", [this] { ShellState.MenuRestoreFontClick(); });

    // Settings
    QMenu* settings = menu("MenuSettings");
    ComposeGroup = new QActionGroup(this);
    ComposeGroup->setExclusive(true);
    ComposeGroup->addAction(AddCheckItem(settings, QStringLiteral("MenuComposeHTML"),
                                         [this] { ShellState.MenuComposeHTMLClick(); }));
    ComposeGroup->addAction(AddCheckItem(settings, QStringLiteral("MenuComposePLain"),
                                         [this] { ShellState.MenuComposePLainClick(); }));
    AddCheckItem(settings, QStringLiteral("MenuAutoAddAddrbook"),
                 [this] { ShellState.MenuAutoAddAddrbookClick(); });
    AddCheckItem(settings, QStringLiteral("MenuAutoAddProjAddrbook"),
                 [this] { ShellState.MenuAutoAddProjAddrbookClick(); });
    settings->addSeparator();
    AddCheckItem(settings, QStringLiteral("MenuAutorun"),
                 [this] { ShellState.MenuAutorunClick(); });
    AddCheckItem(settings, QStringLiteral("MenuStopplayingsillysounds"),
                 [this] { ShellState.MenuStopplayingsillysoundsClick(); });
    settings->addSeparator();
    AddCheckItem(settings, QStringLiteral("MenuActivepickup"),
                 [this] { ShellState.MenuActivepickupClick(); });
    AddCheckItem(settings, QStringLiteral("MenuShowNewMailPopUp"),
                 [this] { ShellState.MenuShowNewMailPopUpClick(); });
    settings->addSeparator();
    AddCheckItem(settings, QStringLiteral("MenuAutoConnect"),
                 [this] { ShellState.MenuAutoConnectClick(); });
    AddCheckItem(settings, QStringLiteral("MenuAutoDisconnect"),
                 [this] { ShellState.MenuAutoDisconnectClick(); });
    settings->addSeparator();
    command(settings, "MenuMailStorageFolder", [this] { ShellState.MenuMailStorageFolderClick(); });
    command(settings, "MenuTempStorageFolder", [this] { ShellState.MenuTempStorageFolderClick(); });
    AddLaterItem(settings, QStringLiteral("MenuShowPorjectNumbers"));
    settings->addSeparator();
    command(settings, "MenuRestorePanels", [this] {
        ShellState.MenuRestorePanelsClick();
        ApplyPanelSizes();
    });

    // Accounts
    QMenu* accounts = menu("MenuAccounts");
    AddLaterItem(accounts, QStringLiteral("MenuAddAccount"));
    AddLaterItem(accounts, QStringLiteral("MenuDefineMailFilterRules"));
    accounts->addSeparator();
    AddLaterItem(accounts, QStringLiteral("MenuDeleteCurrentAccount"));
    accounts->addSeparator();
    AddLaterItem(accounts, QStringLiteral("MenuSortProjects"));
    AddLaterItem(accounts, QStringLiteral("MenuSortAccounts"));

    // Answering Machine
    QMenu* answering = menu("MenuAnsweringMachine");
    AddLaterItem(answering, QStringLiteral("MenuAMSettings"));
    answering->addSeparator();
    AnsweringGroup = new QActionGroup(this);
    AnsweringGroup->setExclusive(true);
    const std::pair<const char*, TAnsweringMode> modes[] = {
        {"MenuAMALLON", TAnsweringMode::AllOn},
        {"MenuAMALLOFF", TAnsweringMode::AllOff},
        {"MenuAMnormal", TAnsweringMode::Normal},
    };
    for (const auto& [name, mode] : modes) {
        const TAnsweringMode chosen = mode;
        QAction* action =
            command(answering, name, [this, chosen] { ShellState.SetAnsweringMode(chosen); });
        action->setCheckable(true);
        AnsweringGroup->addAction(action);
    }

    // Projects
    QMenu* projects = menu("MenuProjects");
    AddLaterItem(projects, QStringLiteral("MenuAddNewProject"));
    AddLaterItem(projects, QStringLiteral("MenuDeleteProject"));
    projects->addSeparator();
    AddLaterItem(projects, QStringLiteral("MenuAddCusomtFolder"));
    AddLaterItem(projects, QStringLiteral("MenuRenameCustomFolder"));
    AddLaterItem(projects, QStringLiteral("MenuDeleteCustomFolder"));
    projects->addSeparator();
    QMenu* book = projects->addMenu(QString());
    book->setObjectName(QStringLiteral("MenuProjectAddressBook"));
    book->menuAction()->setObjectName(book->objectName());
    Menus.insert(book->objectName(), book);
    Actions.insert(book->objectName(), book->menuAction());
    AddLaterItem(book, QStringLiteral("MenuAddAddressFromMain"));
    AddLaterItem(book, QStringLiteral("MenuAddManually"));
    AddLaterItem(book, QStringLiteral("MenuEditAddress"));
    AddLaterItem(book, QStringLiteral("MenuUpdatewithMain"));
    AddLaterItem(book, QStringLiteral("ShowAddressBook1"));
    book->addSeparator();
    AddLaterItem(book, QStringLiteral("MenuRemoveProjectAddress"));

    // Archive
    QMenu* archive = menu("MenuArchive");
    AddLaterItem(archive, QStringLiteral("MenuBackupSelectedproject"));
    AddLaterItem(archive, QStringLiteral("MenuBackupAllProjects"));
    AddLaterItem(archive, QStringLiteral("MenuBackupSelectedMessages"));
    AddLaterItem(archive, QStringLiteral("MenuImportBackup"));
    archive->addSeparator();
    AddLaterItem(archive, QStringLiteral("MenuDeleteBackup"));
    archive->addSeparator();
    AddLaterItem(archive, QStringLiteral("MenuFindMessagesinBackups"));
    AddLaterItem(archive, QStringLiteral("MenuFindMessagesArchive"));

    // Mail Commands
    QMenu* mail = menu("MenuMailCommands");
    AddLaterItem(mail, QStringLiteral("MenuSendReceiveforAll"), QKeySequence(Qt::Key_F8));
    mail->addSeparator();
    AddLaterItem(mail, QStringLiteral("MenuSendRetrieveMailforSelected"));
    AddLaterItem(mail, QStringLiteral("MenuRetrieveMailforAll"));
    AddLaterItem(mail, QStringLiteral("MenuRetrieveMailforSelected"));
    AddLaterItem(mail, QStringLiteral("MenuSendMailforAllAccounts"));
    AddLaterItem(mail, QStringLiteral("MenuSendMailforSelectedAccount"));
    mail->addSeparator();
    AddLaterItem(mail, QStringLiteral("MenuShowTransfer"));
    mail->addSeparator();
    AddLaterItem(mail, QStringLiteral("MenuFindSenderorSubject"),
                 QKeySequence(Qt::CTRL | Qt::Key_F));
    AddLaterItem(mail, QStringLiteral("MenuSearchinall"),
                 QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    AddLaterItem(mail, QStringLiteral("MenuSearchAgain"), QKeySequence(Qt::Key_F3));

    // View: the window list
    ViewMenu = menu("MenuView");
    QAction* closeAll = AddItem(ViewMenu, QStringLiteral("MenuCloseALLwindows"));
    connect(closeAll, &QAction::triggered, this, [this] {
        CloseAllRequested = true;
        Q_EMIT CloseAllWindows();
    });
    QAction* cascade = AddItem(ViewMenu, QStringLiteral("MenuCasdadeAllWindows"));
    connect(cascade, &QAction::triggered, this, &TMainForm::CascadeWindows);
    ViewMenu->addSeparator();

    // Help
    QMenu* help = menu("MenuHelp");
    QAction* helpFile = AddItem(help, QStringLiteral("HelpfileMenu"), QKeySequence(Qt::Key_F1));
    connect(helpFile, &QAction::triggered, this, &TMainForm::HelpFileClick);
    QAction* website = AddItem(help, QStringLiteral("MenuWebsite"));
    connect(website, &QAction::triggered, this,
            [] { QDesktopServices::openUrl(QUrl(ToQt(kProductWebAddress))); });
    QAction* credits = AddItem(help, QStringLiteral("menuCredits"));
    connect(credits, &QAction::triggered, this, &TMainForm::CreditsClick);
    help->addSeparator();
    QAction* legend = AddItem(help, QStringLiteral("MenuLegenda"));
    connect(legend, &QAction::triggered, this, [this] {
        TLegendaForm form(this);
        form.exec();
    });

    BuildPopupMenus();
    RebuildWindowMenu();
    ConnectTreeCommands();
}

void TMainForm::BuildPopupMenus() {
    auto build = [this](QMenu* popup, const auto& items) {
        for (const char* item : items) {
            if (item)
                AddLaterItem(popup, QString::fromLatin1(item));
            else
                popup->addSeparator();
        }
    };
    FolderTreePOPUP = new QMenu(this);
    FolderTreePOPUP->setObjectName(QStringLiteral("FolderTreePOPUP"));
    build(FolderTreePOPUP, kFolderTreePopup);
    ProjectTreePOPUP = new QMenu(this);
    ProjectTreePOPUP->setObjectName(QStringLiteral("ProjectTreePOPUP"));
    build(ProjectTreePOPUP, kProjectTreePopup);
}

void TMainForm::ApplyCaptions() {
    for (auto it = Menus.begin(); it != Menus.end(); ++it)
        it.value()->setTitle(ToQt(ShellState.MenuCaption(FromQt(it.key()))));
    for (auto it = Actions.begin(); it != Actions.end(); ++it) {
        if (!Menus.contains(it.key()))
            it.value()->setText(ToQt(ShellState.MenuCaption(FromQt(it.key()))));
    }
    ApplyListHeadings();
}

void TMainForm::SyncChecks() {
    const TMenuChecks& checks = ShellState.Checks();
    auto set = [this](const char* name, bool on) {
        if (QAction* action = Actions.value(QString::fromLatin1(name)))
            action->setChecked(on);
    };
    set("MenuComposeHTML", checks.ComposeHTML);
    set("MenuComposePLain", !checks.ComposeHTML);
    set("MenuAutoAddAddrbook", checks.AutoAddAbook);
    set("MenuAutoAddProjAddrbook", checks.AutoAddPbook);
    set("MenuAutorun", checks.DoAutoRun);
    set("MenuStopplayingsillysounds", ShellState.SoundsOff());
    set("MenuActivepickup", checks.ActivePickup);
    set("MenuShowNewMailPopUp", checks.DoShowYouHaveMail);
    set("MenuAutoConnect", checks.AutoConnect);
    set("MenuAutoDisconnect", checks.AutoDisconnect);
    set("MenuAMALLON", checks.AnsweringMode == TAnsweringMode::AllOn);
    set("MenuAMALLOFF", checks.AnsweringMode == TAnsweringMode::AllOff);
    set("MenuAMnormal", checks.AnsweringMode == TAnsweringMode::Normal);
    if (QAction* pickup = Actions.value(QStringLiteral("MenuActivepickup")))
        pickup->setText(ToQt(ShellState.ActivePickupCaption()));
}

void TMainForm::HelpFileClick() {
    // The help file lives in the data home; the system's handler opens it.
    for (const char* name : {"pelmora.html", "pelmora.hlp", "README.md"}) {
        const QString path = ToQt(ShellState.Dirs().Program) + QString::fromLatin1(name);
        if (QFileInfo(path).isFile()) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
            return;
        }
    }
    TPopupRequest request;
    request.Caption = ShellState.Text(1, 262);
    request.Text = FillText(ShellState.Texts().Own(TOwnText::HelpFileMissing),
                            {ShellState.Dirs().Program});
    request.DisplayMs = 6000;
    request.TextSize = 12;
    Ui.ShowPopup(request);
}

void TMainForm::CreditsClick() {
    std::string credits;
    for (int slot = 351; slot <= 362; ++slot) {
        const std::string& line = ShellState.Text(1, slot);
        if (line.empty())
            continue;
        if (!credits.empty())
            credits += "\r\n";
        credits += line;
    }
    TPopupRequest request;
    request.Caption = "Pelmora v.3.0.5";
    request.Text = credits.empty() ? ShellState.Texts().Own(TOwnText::Credits) : credits;
    request.DisplayMs = 15000;
    request.TextSize = 11;
    request.Large = true;
    Ui.ShowPopup(request);
}

} // namespace pelmora
