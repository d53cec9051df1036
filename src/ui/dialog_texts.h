#pragma once
// The fixed captions the three dialogs take from the texts table. The services fill them from
// the table; tests can pass their own.

#include <QString>

namespace pelmora {

struct TDialogTexts {
    QString Close = QStringLiteral("Close"); // pop-up close button
    QString ClickToClose = QStringLiteral("Click anywhere to close this window..."); // pop-up hint
    QString EditHtml = QStringLiteral("Edit HTML");                // editable pop-up title
    QString DontAskAgain = QStringLiteral("Don't ask this again"); // message dialog box
    QString Yes = QStringLiteral("Yes");
    QString No = QStringLiteral("No");
};

// The name that, found in a pop-up caption, shows the product logo instead of the caption.
inline const QString kProductLongName = QStringLiteral("Pelmora v.3.0.5");

} // namespace pelmora
