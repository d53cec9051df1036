#include "shell/busy_animation.h"

#include <filesystem>

namespace pelmora {

std::string TBusyAnimation::FramePath(int frame) const {
    return SkinDir + "procanim" + std::to_string(frame) + ".bmp";
}

bool TBusyAnimation::Tick(TUiServices& ui) {
    if (!Active) {
        return false;
    }
    const std::string path = FramePath(Counter);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || !ui.ShowAnimationFrame(path)) {
        Active = false;
        return false;
    }
    Counter = (Counter + 1) % kAnimationFrames;
    return true;
}

void TBusyAnimation::ShowFirstFrame(TUiServices& ui) {
    Counter = 0;
    const std::string path = FramePath(0);
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) {
        ui.ShowAnimationFrame(path);
    }
}

} // namespace pelmora
