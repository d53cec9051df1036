// The "Settings" and "Display" menu commands of the main window.
#include "shell/shell_state.h"

#include <algorithm>
#include <charconv>

namespace pelmora {

namespace {

// A whole, non-negative decimal number and nothing else.
std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    if (text.empty()) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string TShell::ActivePickupCaption() const {
    return Text(1, 125) + std::to_string(CollectMinutes) + " " + Text(1, 126);
}

void TShell::MenuComposeHTMLClick() {
    if (!StartingUp) {
        MenuChecks.ComposeHTML = true;
    }
}

void TShell::MenuComposePLainClick() {
    if (!StartingUp) {
        MenuChecks.ComposeHTML = false;
    }
}

void TShell::SetAnsweringMode(TAnsweringMode mode) {
    if (!StartingUp) {
        MenuChecks.AnsweringMode = mode;
    }
}

void TShell::MenuAutoAddAddrbookClick() {
    MenuChecks.AutoAddAbook = !MenuChecks.AutoAddAbook;
}

void TShell::MenuAutoAddProjAddrbookClick() {
    MenuChecks.AutoAddPbook = !MenuChecks.AutoAddPbook;
}

void TShell::MenuAutorunClick() {
    MenuChecks.DoAutoRun = !MenuChecks.DoAutoRun;
}

void TShell::MenuStopplayingsillysoundsClick() {
    SoundSet.SetSoundsOff(!SoundSet.SoundsOff());
}

void TShell::MenuShowNewMailPopUpClick() {
    MenuChecks.DoShowYouHaveMail = !MenuChecks.DoShowYouHaveMail;
}

void TShell::MenuAutoConnectClick() {
    MenuChecks.AutoConnect = !MenuChecks.AutoConnect;
    // Dialling in for the pickup means hanging up after it too.
    if (MenuChecks.AutoConnect) {
        MenuChecks.AutoDisconnect = true;
    }
}

void TShell::MenuAutoDisconnectClick() {
    MenuChecks.AutoDisconnect = !MenuChecks.AutoDisconnect;
    if (!MenuChecks.AutoDisconnect) {
        MenuChecks.AutoConnect = false;
    }
}

void TShell::MenuActivepickupClick() {
    MenuChecks.ActivePickup = !MenuChecks.ActivePickup;
    if (MenuChecks.ActivePickup) {
        const std::optional<std::string> answer =
            UiServices.QueryText(Text(1, 105), Text(1, 127), std::to_string(CollectMinutes), false);
        if (!answer) {
            // Cancelled: the pick-up stays off as it was.
            MenuChecks.ActivePickup = false;
            return;
        }
        if (const std::optional<int> minutes = WholeNumber(*answer)) {
            SetAutoCollectMinutes(*minutes);
        }
    }
    SetCollectEnabled(MenuChecks.ActivePickup);
}

void TShell::MenuRestorePanelsClick() {
    using K = TSettingKey;
    PanelSizes.FolderTreeWidth = 234;
    PanelSizes.ProjectHeight = 295;
    PanelSizes.ListColumnWidths = {39, 100, 170, 170, 50};
    PanelSizes.MainFormWidth = 795;
    PanelSizes.MainFormHeight = 595;

    for (K key : {K::NoTunesPlease, K::DoShowYouHaveMail, K::ComposeHTML, K::AutoAddPbook,
                  K::DoAutoRun, K::AutoDisconnect, K::AutoConnect, K::ActivePickup, K::AutoAddAbook,
                  K::AutoCollectMinutes, K::AMNormal, K::AMALLOFF, K::AMALLON, K::NotFirstTime}) {
        SettingsFile.Erase(key);
    }
    SettingsFile.EraseSection(kExclSessionSection);
    SettingsFile.Save();

    MenuChecks = TMenuChecks{};
    SoundSet.SetSoundsOff(false);
    SetAutoCollectMinutes(kDefaultCollectMinutes);
    SetCollectEnabled(false);

    if (RestorePanelsTreeHook) {
        RestorePanelsTreeHook();
    }
    FontSizes = TFontSizes{};

    TPopupRequest request;
    request.Caption = Text(1, 261);
    request.Text = "\r\n" + Text(1, 47);
    request.DisplayMs = 7000;
    request.TextSize = 11;
    request.Modeless = true;
    UiServices.ShowPopup(request);
}

void TShell::StartYouHaveMail() {
    NewMailBlinking = true;
    if (YouHaveMailChanged) {
        YouHaveMailChanged();
    }
}

void TShell::YouHaveMailTick() {
    if (!NewMailBlinking) {
        return;
    }
    NewMailLight = !NewMailLight;
    if (YouHaveMailChanged) {
        YouHaveMailChanged();
    }
}

void TShell::StopYouHaveMail() {
    const bool changed = NewMailBlinking || NewMailLight;
    NewMailBlinking = false;
    NewMailLight = false;
    if (changed && YouHaveMailChanged) {
        YouHaveMailChanged();
    }
}

void TShell::MenuBiggerFontClick(TFontTarget target) {
    int& size = FontRef(target);
    size = std::min(size + 1, kMaxFontSize);
}

void TShell::MenuSmallerFontClick(TFontTarget target) {
    int& size = FontRef(target);
    size = std::max(size - 1, kMinFontSize);
}

void TShell::MenuRestoreFontClick() {
    FontSizes = TFontSizes{};
}

} // namespace pelmora
