#pragma once
// The table of every user-visible text: five modules of fixed-size slots, filled once at
// start-up with built-in defaults, composed texts and optional language files. Each slot
// holds at most 255 bytes. A language file is a raw image of one module (a length byte and
// 255 text bytes per slot); a file that cannot be read in full leaves that module's defaults
// in place and is reported through TUiServices. Unknown module or slot numbers give an empty
// text, never a crash.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "shell/own_texts.h"
#include "shell/ui_services.h"

namespace pelmora {

constexpr int kTextModuleCount = 5;
constexpr int kTextSlotBytes = 256;
constexpr int kTextMaxLength = 255;
// Slots per module, module 0 first.
constexpr std::array<int, kTextModuleCount> kTextModuleSlots = {39, 364, 35, 44, 54};
// The product's web address, shown where a text points the user to downloads.
constexpr std::string_view kProductWebAddress = "https://pelmora.example/";

// Size in bytes of a module's image (slots x 256); 0 for an unknown module.
constexpr int ModuleBytes(int module) {
    return module >= 0 && module < kTextModuleCount ? kTextModuleSlots[module] * kTextSlotBytes : 0;
}

// "langdefmod" + module + ".dat".
std::string LanguageFileName(int module);
// The message shown when a module's language file cannot be read in full.
std::string LanguageFileErrorText(int module);

class TMessageTexts {
public:
    // Starts with every slot empty; LoadMessageTexts or LoadDefaults fills the table.
    TMessageTexts();

    // Fills the five modules in turn: defaults, composed slots, then the module's language
    // file from programDir (which ends in "/"). A file that cannot be read in full gives a
    // beep and a modal pop-up through ui (when ui is not null) and leaves the module's
    // defaults; start-up continues.
    void LoadMessageTexts(const std::string& programDir, TUiServices* ui);
    // Fills every module with defaults and composed slots only (no language files).
    void LoadDefaults();

    // The slot's current text; an empty text for an unknown module or slot.
    const std::string& Text(int module, int slot) const;
    // Replaces one slot (cut to 255 bytes); ignored for an unknown module or slot.
    void SetText(int module, int slot, std::string_view text);

    // The program's own texts beside the modules (own_texts.h); filled with their defaults by
    // both loaders, empty before. An unknown id gives an empty text.
    const std::string& Own(TOwnText id) const;
    void SetOwn(TOwnText id, std::string_view text);

    // Modules whose language file failed to load during the last LoadMessageTexts.
    const std::vector<int>& FailedModules() const { return FailedModuleList; }

private:
    void FillDefaults(int module);
    void ComposeSlots(int module);
    // Applies "langdefmodN.dat"; false when the file exists but cannot be read in full.
    bool ApplyLanguageFile(const std::string& programDir, int module);

    void FillOwnDefaults();

    std::array<std::vector<std::string>, kTextModuleCount> Slots;
    std::array<std::string, kOwnTextCount> OwnSlots;
    std::vector<int> FailedModuleList;
};

// The raw image of a module as a language file holds it (ModuleBytes(module) bytes).
std::string ModuleImage(const TMessageTexts& texts, int module);
// Reads a module image over the module's slots. False, and nothing changed, when the image
// is shorter than the module; bytes after the module's size are ignored.
bool ReadModuleImage(std::string_view image, int module, TMessageTexts& texts);

} // namespace pelmora
