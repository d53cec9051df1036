#include "shell/message_texts.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "shell/message_texts_defaults.h"

namespace pelmora {

namespace {

const std::string kEmpty;

bool ValidSlot(int module, int slot) {
    return module >= 0 && module < kTextModuleCount && slot >= 0 && slot < kTextModuleSlots[module];
}

std::string_view DefaultText(int module, int slot) {
    for (const TDefaultText& entry : DefaultTexts(module)) {
        if (entry.Slot == slot) {
            return entry.Text;
        }
    }
    return {};
}

constexpr std::string_view kDiskTrouble =
    "Disk full, File locked, File corrupted or Harddisk Error?!";

} // namespace

std::string LanguageFileName(int module) {
    return "langdefmod" + std::to_string(module) + ".dat";
}

std::string LanguageFileErrorText(int module) {
    return "ERROR loading Language file \"" + LanguageFileName(module) +
           "\"! File might be corrupted, try downloading again from " +
           std::string(kProductWebAddress);
}

TMessageTexts::TMessageTexts() {
    for (int module = 0; module < kTextModuleCount; ++module) {
        Slots[module].assign(kTextModuleSlots[module], std::string());
    }
}

void TMessageTexts::FillOwnDefaults() {
    for (int id = 0; id < kOwnTextCount; ++id)
        OwnSlots[static_cast<size_t>(id)] = OwnTextDefault(static_cast<TOwnText>(id));
}

const std::string& TMessageTexts::Own(TOwnText id) const {
    const int index = static_cast<int>(id);
    return index >= 0 && index < kOwnTextCount ? OwnSlots[static_cast<size_t>(index)] : kEmpty;
}

void TMessageTexts::SetOwn(TOwnText id, std::string_view text) {
    const int index = static_cast<int>(id);
    if (index >= 0 && index < kOwnTextCount)
        OwnSlots[static_cast<size_t>(index)] = text.substr(0, kTextMaxLength);
}

void TMessageTexts::LoadDefaults() {
    FillOwnDefaults();
    for (int module = 0; module < kTextModuleCount; ++module) {
        FillDefaults(module);
        ComposeSlots(module);
    }
}

void TMessageTexts::LoadMessageTexts(const std::string& programDir, TUiServices* ui) {
    FailedModuleList.clear();
    FillOwnDefaults();
    for (int module = 0; module < kTextModuleCount; ++module) {
        FillDefaults(module);
        ComposeSlots(module);
        if (ApplyLanguageFile(programDir, module)) {
            continue;
        }
        FailedModuleList.push_back(module);
        if (ui != nullptr) {
            ui->Beep();
            TPopupRequest request;
            request.Caption = "Warning:";
            request.Text = LanguageFileErrorText(module);
            request.DisplayMs = 8000;
            request.TextSize = 11;
            request.Modeless = false;
            ui->ShowPopup(request);
        }
    }
}

const std::string& TMessageTexts::Text(int module, int slot) const {
    if (!ValidSlot(module, slot)) {
        return kEmpty;
    }
    return Slots[module][slot];
}

void TMessageTexts::SetText(int module, int slot, std::string_view text) {
    if (!ValidSlot(module, slot)) {
        return;
    }
    Slots[module][slot] = std::string(text.substr(0, kTextMaxLength));
}

void TMessageTexts::FillDefaults(int module) {
    std::vector<std::string>& slots = Slots[module];
    slots.assign(kTextModuleSlots[module], std::string());
    for (const TDefaultText& entry : DefaultTexts(module)) {
        SetText(module, entry.Slot, entry.Text);
    }
}

void TMessageTexts::ComposeSlots(int module) {
    const auto text = [this](int m, int s) { return std::string(Text(m, s)); };
    switch (module) {
    case 0: {
        // Module 0 is filled before module 1: it uses module 1's built-in folder names.
        const std::string outgoing(DefaultText(1, 318));
        const std::string sent(DefaultText(1, 287));
        SetText(0, 32,
                "Error: an unknown/unexpected error was raised by Pelmora while copying sent mail "
                "from\r\nthe \"" +
                    outgoing + "\" to the \"" + sent + "\"!\r\n" + std::string(kDiskTrouble));
        SetText(0, 33,
                "Error: an unknown/unexpected error was raised by Pelmora while deleting sent mail "
                "from\r\nthe \"" +
                    outgoing + "\"!\r\n" + std::string(kDiskTrouble));
        break;
    }
    case 1:
        SetText(1, 183, "&Delete (to " + text(1, 315) + ")");
        SetText(1, 240,
                "Deleting message(-s) from the " + text(1, 315) +
                    " will remove the file from your harddisk beyond recall, sure?");
        SetText(1, 270,
                "No languages found in this directory... Download language files from " +
                    std::string(kProductWebAddress));
        SetText(1, 274,
                "The message has been moved to the project's \"" + text(1, 315) + "\" folder...");
        break;
    case 2:
        SetText(2, 8, "Ready! Press the " + text(2, 10) + " button to close this window");
        break;
    case 4:
        // Module 1 is complete (language file included) by the time module 4 is filled.
        SetText(4, 7, "Changing the tracking number in " + text(1, 96) + " mode has no effect...");
        SetText(4, 9,
                "Don't forget to Attach this imagefile manually (\"" + text(1, 237) +
                    "\", to embed it in the message!");
        SetText(4, 26, "Message is saved in the project's \r\n\"" + text(1, 320) + "\" folder.");
        SetText(4, 45,
                "The message has been stored in\r\nthe project's \"" + text(1, 318) + "\" folder.");
        break;
    default:
        break;
    }
}

bool TMessageTexts::ApplyLanguageFile(const std::string& programDir, int module) {
    const std::string path = programDir + LanguageFileName(module);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    // Only the first record matters; read no more than one module's size.
    const int size = ModuleBytes(module);
    std::string image(static_cast<size_t>(size), '\0');
    in.read(image.data(), size);
    if (in.gcount() != size) {
        return false;
    }
    return ReadModuleImage(image, module, *this);
}

std::string ModuleImage(const TMessageTexts& texts, int module) {
    std::string image;
    if (module < 0 || module >= kTextModuleCount) {
        return image;
    }
    image.reserve(static_cast<size_t>(ModuleBytes(module)));
    for (int slot = 0; slot < kTextModuleSlots[module]; ++slot) {
        const std::string& text = texts.Text(module, slot);
        image.push_back(static_cast<char>(static_cast<unsigned char>(text.size())));
        image += text;
        image.append(static_cast<size_t>(kTextMaxLength) - text.size(), '\0');
    }
    return image;
}

bool ReadModuleImage(std::string_view image, int module, TMessageTexts& texts) {
    const int size = ModuleBytes(module);
    if (size == 0 || image.size() < static_cast<size_t>(size)) {
        return false;
    }
    for (int slot = 0; slot < kTextModuleSlots[module]; ++slot) {
        const std::string_view record =
            image.substr(static_cast<size_t>(slot) * kTextSlotBytes, kTextSlotBytes);
        const auto length = static_cast<unsigned char>(record[0]);
        texts.SetText(module, slot, record.substr(1, length));
    }
    return true;
}

} // namespace pelmora
