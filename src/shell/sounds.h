#pragma once
// The program's seven sounds and the rule for playing them. A sound whose file was missing at
// start-up has an empty path. When sounds are off only the attention sound makes itself
// heard, as a plain beep. A sound that fails to play switches sounds off for good (the
// setting "NoTunesPlease" is written from SoundsOff() at close).

#include <array>
#include <string>
#include <string_view>

#include "shell/ui_services.h"

namespace pelmora {

enum class TSound { Attention, Intro, Click, Popped, ToTrash, Goodbye, NewMail };
constexpr int kSoundCount = 7;

// The sound's file name in the sounds directory ("attention.wav", ...).
std::string_view SoundFileName(TSound sound);

class TSounds {
public:
    // Sets each sound's path to soundsDir + file name when that file exists, else empty.
    void LookUp(const std::string& soundsDir);
    const std::string& Path(TSound sound) const;

    bool SoundsOff() const { return Off; }
    void SetSoundsOff(bool off) { Off = off; }

    // Plays a sound asynchronously and pumps pending events. Sounds off: only the attention
    // sound gives a beep. A failed play (an empty path included) switches sounds off.
    void PlaySound(TSound sound, TUiServices& ui);

private:
    std::array<std::string, kSoundCount> Paths;
    bool Off = false;
};

} // namespace pelmora
