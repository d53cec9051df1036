#include "ui/black_list_form.h"

#include "shell/shell_state.h"
#include "ui/main_form.h"
#include "ui/text_convert.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

TBlackListWindow::TBlackListWindow(TShell& shell, QWidget* parent) : QDialog(parent), Shell(shell) {
    setObjectName(QStringLiteral("BlackListForm"));
    setWindowTitle(ToQt(BlackListTitle(TMainForm::kTitle, shell.Texts())));
    Form = OpenBlackListForm(BlackListPath(shell.Dirs().AddressBooks));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(ToQt(shell.Text(1, 280)), this));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(ListBox1, 1);
    auto* note = new QLabel(ToQt(shell.Text(1, 281)), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QHBoxLayout;
    Button1 = new QPushButton(ToQt(shell.Text(1, 277)), this);
    Button2 = new QPushButton(ToQt(shell.Text(1, 278)), this);
    Button3 = new QPushButton(ToQt(shell.Text(1, 363)), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3->setObjectName(QStringLiteral("Button3"));
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    buttons->addWidget(Button3);
    layout->addLayout(buttons);
    resize(380, 420);

    connect(Button1, &QPushButton::clicked, this, [this] {
        TakeSelection();
        if (BlackListAddClick(Form, Shell.Ui(), Shell.Texts()))
            ShowEntries();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        TakeSelection();
        BlackListDeleteClick(Form);
        ShowEntries();
    });
    connect(Button3, &QPushButton::clicked, this, [this] {
        TakeSelection();
        if (!BlackListCloseClick(Form)) {
            // The list is not lost without a word: the file stays as it was.
            TPopupRequest request;
            request.Caption = Shell.Text(1, 262);
            request.Text = "\r\n" + Form.Path + Shell.Texts().Own(TOwnText::BlackListNotSaved);
            request.DisplayMs = 8000;
            request.TextSize = 11;
            request.Modeless = false;
            Shell.Ui().ShowPopup(request);
        }
        accept();
    });
    ShowEntries();
}

void TBlackListWindow::ShowEntries() {
    ListBox1->clear();
    for (size_t i = 0; i < Form.Entries.size(); ++i) {
        auto* item = new QListWidgetItem(ToQt(Form.Entries[i]), ListBox1);
        item->setSelected(i < Form.Selected.size() && Form.Selected[i]);
    }
}

void TBlackListWindow::TakeSelection() {
    Form.Selected.assign(Form.Entries.size(), false);
    for (int row = 0; row < ListBox1->count() && row < static_cast<int>(Form.Entries.size()); ++row)
        Form.Selected[static_cast<size_t>(row)] = ListBox1->item(row)->isSelected();
}

} // namespace pelmora
