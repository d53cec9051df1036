#pragma once
// Pictures the program draws for itself at start: the product logo, the splash and farewell
// pictures, the window icon and the busy-animation frames used when the skin directory has none.

#include <QIcon>
#include <QPixmap>

namespace pelmora {

QPixmap ProductLogo();
QPixmap SplashPicture(bool farewell);
QIcon ApplicationIcon();
// Frame 0..14 of the built-in busy animation.
QPixmap BusyFrame(int frame);

} // namespace pelmora
