#pragma once
// The pictures of the message list's first column: one per message state (read, check, flag,
// unread, orphan, low and high priority) and the attachment clip, drawn by the program.

#include <QPixmap>

namespace pelmora {

// The state's picture (16 x 16); a null pixmap for an unknown state.
QPixmap MessageStateImage(int state);
QPixmap AttachmentImage();
// What the first column shows for a row: the state picture and, for image index 3 or more,
// the clip beside it.
QPixmap MessageRowImage(int state, int image);

} // namespace pelmora
