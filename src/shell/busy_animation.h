#pragma once
// The busy animation: fifteen frames "procanim0.bmp" .. "procanim14.bmp" in the skin
// directory, one per tick of a 200 ms timer that the UI runs while Running() is true. A frame
// that cannot be shown stops the animation until Start() is called again.

#include <string>

#include "shell/ui_services.h"

namespace pelmora {

constexpr int kAnimationFrames = 15;
constexpr int kAnimationIntervalMs = 200;

class TBusyAnimation {
public:
    void SetSkinDir(std::string skinDir) { SkinDir = std::move(skinDir); }
    // skin directory + "procanim" + frame + ".bmp".
    std::string FramePath(int frame) const;

    void Start() { Active = true; }
    void Stop() { Active = false; }
    bool Running() const { return Active; }
    int Frame() const { return Counter; }

    // One timer tick: shows the current frame and moves on to the next (14 wraps to 0).
    // When the frame is missing or cannot be shown, stops and returns false.
    bool Tick(TUiServices& ui);
    // Shows the first frame without starting the animation (a missing picture is ignored)
    // and resets the counter.
    void ShowFirstFrame(TUiServices& ui);

private:
    std::string SkinDir;
    int Counter = 0;
    bool Active = false;
};

} // namespace pelmora
