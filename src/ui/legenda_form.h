#pragma once
// TLegendaForm: the legend of the pictures in the trees and the message list, each with what
// it means. Shown modally from the Help menu.

#include <QDialog>

namespace pelmora {

class TLegendaForm : public QDialog {
    Q_OBJECT
public:
    explicit TLegendaForm(QWidget* parent);
    // Number of pictures explained.
    int EntryCount() const { return Entries; }

private:
    int Entries = 0;
};

} // namespace pelmora
