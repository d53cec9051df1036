#include "ui/compose_launcher.h"

#include "compose/compose_save.h"
#include "shell/shell_state.h"
#include "store/folder_listing.h"
#include "ui/attachments_form.h"
#include "ui/compose_form.h"
#include "ui/main_form.h"

#include <QApplication>
#include <QTreeView>

#include <memory>

namespace pelmora {

using namespace compose;

TComposeLauncher::TComposeLauncher(TMainForm& main, TFolderView& view)
    : QObject(&main), Main(main), View(view) {
    setObjectName(QStringLiteral("ComposeLauncher"));
    // The context is taken when a window opens (OpenMessageWindow); the list's own refresh
    // after a listing needs nothing.
    View.Hooks.RefreshComposeContext = [] { return true; };
    View.Hooks.OpenMessageWindow = [this](const std::string& path, int, bool print) {
        if (Refresh())
            OpenWindow(Context, ModeOpen, path, true, print);
    };
}

bool TComposeLauncher::Refresh() {
    std::optional<TComposeContext> context = RefreshComposeContext(Main.Workspace());
    if (!context)
        return false;
    Context = std::move(*context);
    return true;
}

std::string TComposeLauncher::SelectedFile() const {
    const int row = View.List.FirstSelected();
    if (row < 0)
        return {};
    std::string path = View.RowFilePath(row);
    if (path.size() > 255)
        path.resize(255);
    return path;
}

bool TComposeLauncher::Command(const QString& name) {
    TShell& shell = Main.Shell();
    if (name == QLatin1String("MMenuViewSaveAttachtments")) {
        ViewSaveAttachments();
        return true;
    }
    struct TRoute {
        const char* Item;
        TComposeMode Mode;
        bool NeedsFile;
        bool Print;
    };
    static const TRoute kRoutes[] = {
        {"MMenuNewMessage", ModeNew, false, false},  {"MMenuEdit", ModeOpen, true, false},
        {"MMenuReply", ModeReply, true, false},      {"MMenuReplytoAll", ModeReplyAll, true, false},
        {"MMenuForward", ModeForward, true, false},  {"MMenuPrintMessage", ModeOpen, true, true},
    };
    for (const TRoute& route : kRoutes) {
        if (name != QLatin1String(route.Item))
            continue;
        const std::string file = route.NeedsFile ? SelectedFile() : std::string();
        if (route.NeedsFile && file.empty()) {
            shell.PlaySound(TSound::Popped);
            return true;
        }
        if (!Refresh()) {
            shell.PlaySound(TSound::Popped);
            return true;
        }
        const bool viewOnly = route.Print;
        OpenWindow(Context, route.Mode, file, viewOnly, route.Print);
        return true;
    }
    return false;
}

TPelmoraMailForm* TComposeLauncher::OpenWindow(const TComposeContext& context, TComposeMode mode,
                                               const std::string& file, bool viewOnly, bool print) {
    TShell& shell = Main.Shell();
    shell.Animation().Start();
    Main.MessageList()->setEnabled(false);
    auto form = std::make_unique<TComposeForm>();
    form->Context = context;
    form->Mode = mode;
    form->ViewOnly = viewOnly && mode == ModeOpen;
    form->PrintOnOpen = print;
    form->MessageFile = file;
    form->FromOutgoing = context.CurrentFolderCode == 115 || context.CurrentFolderCode == 117;
    TPopupRequest popup;
    popup.Caption = shell.Text(2, 31);
    popup.Text = shell.Text(4, 15);
    popup.DisplayMs = 8000;
    popup.TextSize = 13;
    shell.Ui().ShowPopup(popup);
    QApplication::processEvents();
    const bool ok = PrepareForm(*form, shell);
    shell.Ui().ClosePopup();
    Main.MessageList()->setEnabled(true);
    shell.Animation().Stop();
    if (!ok)
        return nullptr;

    auto* window = new TPelmoraMailForm(&Main, shell, std::move(form));
    window->ShowState();
    window->OpenAnother = [this](TComposeMode next, const std::string& source,
                                 const TComposeContext& same) {
        OpenWindow(same, next, source, false, false);
    };
    window->Filed = [this](const TFileResult& result) {
        // The listed folder shows the new row (or loses the old one) at once.
        const std::string listed = View.FolderDirectory(View.ListedProject(), View.ListedFolder());
        if (!listed.empty() && (result.Target.rfind(listed, 0) == 0 ||
                                (!result.OldFile.empty() && result.OldFile.rfind(listed, 0) == 0)))
            View.RefreshList();
        if (View.Hooks.ArmCountsRefresh)
            View.Hooks.ArmCountsRefresh(0);
    };
    connect(&Main, &TMainForm::CloseAllWindows, window, &QWidget::close);
    if (print) {
        window->PrintButclick();
        return nullptr;
    }
    Main.AddWindowItem(window);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void TComposeLauncher::ViewSaveAttachments() {
    const std::string file = SelectedFile();
    if (file.empty() || !Refresh())
        return;
    TShell& shell = Main.Shell();
    auto owned = std::make_unique<TComposeForm>();
    TComposeForm& holder = *owned;
    holder.Context = Context;
    if (!holder.Message.LoadMessageFile(file)) {
        shell.Ui().Beep();
        return;
    }
    holder.Message.MapParts();
    TAttachmentsform window(&Main, shell, holder.Message, holder.WorkDir(), true);
    window.exec();
    Viewed.push_back(std::move(owned));
    Main.MessageList()->setFocus();
}

} // namespace pelmora
