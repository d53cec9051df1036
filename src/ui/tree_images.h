#pragma once
// The image list of the trees ("idx:N" in node texts), drawn by the program at first use:
// 0-2 account (no mail, mail, unread), 3-5 project (the same), 6 account profile, 7 mail
// waiting in an outbox, 8 address, then per folder kind three states (empty, mail, unread):
// 9-11 sent, 12-14 received (and custom folders), 15-17 outgoing, 18-20 received receipts,
// 21-23 removed items, 24-26 drafts, 27-29 sent receipts. Stored project trees give sent
// receipts 5-7 (a project's images, the profile and the waiting mail); SentReceiptImage maps
// them to 27-29 when the tree is drawn.

#include <QPixmap>
#include <QVector>

namespace pelmora {

constexpr int kTreeImageCount = 30;
constexpr int kSentReceiptImages = 27;
constexpr int kTreeImageSize = 16;

// Every image, index = position. Needs a QGuiApplication.
const QVector<QPixmap>& TreeImages();

// The image a project-tree node draws for `image`: the sent-receipts folder's 5-7 become its
// own 27-29; every other image stays.
int SentReceiptImage(int folderCode, int image);

} // namespace pelmora
