#pragma once
// The blacklist window over the core's blacklist form state: the sorted entries with several
// selectable at once, "&Add" (asks for an address), "&Delete" (the selected entries) and
// "&Close" (writes the list). Closing the window any other way discards the changes.

#include "addressbook/blacklist.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace pelmora {

class TShell;

class TBlackListWindow : public QDialog {
    Q_OBJECT
public:
    TBlackListWindow(TShell& shell, QWidget* parent);

    const TBlackListForm& State() const { return Form; }

    QListWidget* ListBox1 = nullptr;
    QPushButton* Button1 = nullptr; // &Add
    QPushButton* Button2 = nullptr; // &Delete
    QPushButton* Button3 = nullptr; // &Close

private:
    void ShowEntries();
    void TakeSelection();

    TShell& Shell;
    TBlackListForm Form;
};

} // namespace pelmora
