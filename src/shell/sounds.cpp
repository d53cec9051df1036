#include "shell/sounds.h"

#include <filesystem>

namespace pelmora {

namespace {

constexpr std::string_view kSoundFiles[kSoundCount] = {
    "attention.wav", "intro.wav",   "click.wav",   "popped.wav",
    "totrash.wav",   "goodbye.wav", "newmail.wav",
};

} // namespace

std::string_view SoundFileName(TSound sound) {
    return kSoundFiles[static_cast<int>(sound)];
}

void TSounds::LookUp(const std::string& soundsDir) {
    for (int i = 0; i < kSoundCount; ++i) {
        const std::string path = soundsDir + std::string(kSoundFiles[i]);
        std::error_code error;
        Paths[i] = std::filesystem::is_regular_file(path, error) ? path : std::string();
    }
}

const std::string& TSounds::Path(TSound sound) const {
    return Paths[static_cast<int>(sound)];
}

void TSounds::PlaySound(TSound sound, TUiServices& ui) {
    if (Off) {
        if (sound == TSound::Attention) {
            ui.Beep();
        }
        return;
    }
    const std::string& path = Path(sound);
    if (path.empty() || !ui.PlaySoundFile(path)) {
        Off = true;
        return;
    }
    ui.Pump();
}

} // namespace pelmora
