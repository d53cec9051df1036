#pragma once
// The main window's activation and close, step by step. The order is the program's: the
// window only supplies what is drawing (the splash picture, enabling its trees, cascading
// its message windows) through hooks, and the core decides what happens when.

#include <functional>

namespace pelmora {

class TWorkspace;

// What the steps need of the window; every hook may be empty.
struct TWindowStepHooks {
    // Activation.
    std::function<void()> HideSplash;
    std::function<void(bool)> EnableTrees;
    // Close.
    std::function<bool()> MessageWindowsOpen;
    std::function<void()> CascadeMessageWindows;
    std::function<void()> SendAllMail;        // starts the sending run for all accounts
    std::function<void()> FreezeWindow;       // timers stopped, trees and list disabled
    std::function<void()> StorePanelSizes;
    std::function<void()> ShowGoodbyePicture;
    std::function<void()> HideGoodbyePicture;
};

// Every activation of the main window. The first one hides the splash picture, shows the
// first default project and asks its questions (large log, low disk); each one enables
// the trees and stops the busy animation.
void ActivateMainWindow(TWorkspace& work, const TWindowStepHooks& hooks);

// The close of the main window; false when it stays open:
//  1. open message windows keep the program running (attention sound, windows cascaded);
//  2. the busy animation starts;
//  3. a running transfer may be aborted, or the close refused;
//  4. waiting unsent mail may be sent first;
//  5. the closing flags are set and the window frozen;
//  6-7. panel sizes and settings written, the autostart entry updated;
//  8-9. the trees saved;
//  10-14. goodbye picture and sound, the temporary files removed, the mail-to flag deleted,
//     the final wait. An error in these still lets the window close.
bool CloseMainWindow(TWorkspace& work, const TWindowStepHooks& hooks);

} // namespace pelmora
