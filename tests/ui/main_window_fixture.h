#pragma once
// The main window on a fresh data home, shown and activated, with an account that has an
// address; its default project's folders are at hand for message files and clicks.

#include "paramtree/node_tree.h"
#include "shell/atomic_file.h"
#include "shell/shell_state.h"
#include "store/folder_listing.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "ui/main_form.h"
#include "ui/markup_tree.h"
#include "ui/qt_ui_services.h"
#include "ui/text_convert.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

namespace pelmora::testing {

inline constexpr int kDefaultProject = 100000;

struct TMainWindowFixture {
    QTemporaryDir Home;
    TQtUiServices Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Work;
    std::unique_ptr<TMainForm> Form;
    int Ended = 0; // times the window asked the program to end

    bool Create() {
        TShellOptions options;
        options.ProgramDir = FromQt(Home.path()) + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        Work = std::make_unique<TWorkspace>(*Shell);
        Form = std::make_unique<TMainForm>(*Shell, *Work, Ui);
        Form->EndProcess = [this] { ++Ended; };
        if (!Form->FormCreate().Ok)
            return false;
        // An account with an address: the counts refresh leaves the project tree alone.
        TNode* account = Work->AccountTree.First();
        Work->AccountTree.SetText(account, AccountNodeText("1", "Me", "me@example.org"));
        Form->show();
        if (!QTest::qWaitForWindowExposed(Form.get()))
            return false;
        Form->FormActivate();
        return true;
    }
    std::string Folder(int code) const {
        return FolderPath(Shell->Dirs().Store, kDefaultProject, code);
    }
    std::string Inbox() const { return Folder(kFolderInbox); }
    // Writes a message file into the inbox.
    bool Put(const std::string& name, const std::string& data) const {
        QDir().mkpath(ToQt(Inbox()));
        return WriteFileAtomically(Inbox() + name, data);
    }
    TNode* FolderNode(int code) const {
        return Work->ProjectTree.FindFirst([code](const TNode& node) {
            return NodeNumber(node.Text()) == code && node.Level() <= 1;
        });
    }
    // A point of the folder's node in the project tree, in viewport coordinates.
    QPoint FolderPoint(int code) const {
        TMarkupTree* tree = Form->ProjectTree();
        const QRect area = tree->visualRect(tree->IndexOfNode(FolderNode(code)));
        return QPoint(area.left() + 6, area.center().y());
    }
    // Clicks the inbox node of the shown project tree as the user does.
    bool ClickInbox() {
        if (!FolderNode(kFolderInbox))
            return false;
        QTest::mouseClick(Form->ProjectTree()->viewport(), Qt::LeftButton, {},
                          FolderPoint(kFolderInbox));
        return true;
    }
};

} // namespace pelmora::testing
