#pragma once
// The image list of the trees ("idx:N" in node texts), drawn by the program at first use:
// 0-2 account (no mail, mail, unread), 3-5 project (the same), 6 account profile, 7 mail
// waiting in an outbox, 8 address, then per folder kind three states (empty, mail, unread):
// 9-11 sent, 12-14 received (and custom folders), 15-17 outgoing, 18-20 received receipts,
// 21-23 removed items, 24-26 drafts. Sent receipts use 5-7 as stored trees have always done.

#include <QPixmap>
#include <QVector>

namespace pelmora {

constexpr int kTreeImageCount = 27;
constexpr int kTreeImageSize = 16;

// Every image, index = position. Needs a QGuiApplication.
const QVector<QPixmap>& TreeImages();

} // namespace pelmora
