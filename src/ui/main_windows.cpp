// The window list of the "View" menu: one item per open composition window after the three
// fixed items; choosing one brings that window up; Ctrl+Tab cycles through them.

#include "ui/main_form.h"

#include "shell/window_cycle.h"

#include <QAction>
#include <QMenu>

namespace pelmora {

void TMainForm::AddWindowItem(QWidget* window) {
    if (!window || ListedWindows().contains(window))
        return;
    WindowList.append(QPointer<QWidget>(window));
    // A widget announces its end before its guarded pointers are cleared: remove it by address.
    connect(window, &QObject::destroyed, this, [this, window] { RemoveWindowItem(window); });
    RebuildWindowMenu();
}

void TMainForm::RemoveWindowItem(QWidget* window) {
    WindowList.removeIf([window](const QPointer<QWidget>& p) { return p.isNull() || p == window; });
    RebuildWindowMenu();
}

QList<QWidget*> TMainForm::ListedWindows() const {
    QList<QWidget*> windows;
    for (const QPointer<QWidget>& window : WindowList) {
        if (window)
            windows.append(window.data());
    }
    return windows;
}

void TMainForm::RebuildWindowMenu() {
    WindowList.removeIf([](const QPointer<QWidget>& p) { return p.isNull(); });
    // Everything after the two fixed items and their separator is the list.
    const QList<QAction*> items = ViewMenu->actions();
    for (int i = 3; i < items.size(); ++i) {
        ViewMenu->removeAction(items[i]);
        items[i]->deleteLater();
    }
    for (const QPointer<QWidget>& window : WindowList) {
        QAction* item = ViewMenu->addAction(window->windowTitle());
        // The item's hint identifies its window.
        item->setStatusTip(QString::number(reinterpret_cast<quintptr>(window.data()), 16));
        QPointer<QWidget> target = window;
        connect(item, &QAction::triggered, this, [this, target] {
            if (target)
                ShowListedWindow(target);
        });
    }
    if (WindowList.isEmpty())
        CloseAllRequested = false;
    const bool any = !WindowList.isEmpty();
    Actions.value(QStringLiteral("MenuCloseALLwindows"))->setEnabled(any);
    Actions.value(QStringLiteral("MenuCasdadeAllWindows"))->setEnabled(any);
}

namespace {

// The window Ctrl+Tab showed last, kept on the main window; only ever compared, never used.
constexpr const char* kLastCycledWindow = "LastCycledWindow";

} // namespace

void TMainForm::ShowListedWindow(QWidget* window) {
    setProperty(kLastCycledWindow, QVariant::fromValue(reinterpret_cast<quintptr>(window)));
    window->showNormal();
    window->raise();
    window->activateWindow();
}

void TMainForm::CascadeWindows() {
    for (QWidget* window : ListedWindows())
        ShowListedWindow(window);
}

void TMainForm::ShowNextWindow() {
    const QList<QWidget*> windows = ListedWindows();
    std::vector<const void*> listed;
    const void* active = nullptr;
    for (QWidget* window : windows) {
        listed.push_back(window);
        if (window->isActiveWindow())
            active = window;
    }
    const auto last = reinterpret_cast<const void*>(property(kLastCycledWindow).value<quintptr>());
    if (const std::optional<std::size_t> next = NextWindowInCycle(listed, active, last))
        ShowListedWindow(windows[static_cast<qsizetype>(*next)]);
}

} // namespace pelmora
