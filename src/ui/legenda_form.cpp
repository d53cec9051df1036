#include "ui/legenda_form.h"

#include "ui/models/message_list_model.h"
#include "ui/tree_images.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace pelmora {

namespace {

struct TEntry {
    int Index;
    const char* Meaning;
};

constexpr TEntry kTreeEntries[] = {
    {0, "Account without messages"},
    {1, "Account with messages"},
    {2, "Account with unread messages"},
    {3, "Project without messages"},
    {4, "Project with messages"},
    {5, "Project with unread messages"},
    {6, "Account profile"},
    {7, "Mail waiting to be sent"},
    {13, "Received messages / custom folder"},
    {14, "Folder with unread messages"},
    {12, "Empty folder"},
    {19, "Received receipts"},
    {28, "Sent receipts"},
    {10, "Sent messages"},
    {16, "Outgoing messages"},
    {22, "Removed items"},
    {25, "Drafts"},
};

constexpr TEntry kListEntries[] = {
    {-1, "Read"},
    {2, "Unread"},
    {0, "Checked"},
    {1, "Flagged"},
    {4, "Orphan: no project was found for it"},
    {6, "High priority"},
    {5, "Low priority"},
};

// The list's own pictures: the state at the left of the first column, the clip beside it.
QPixmap StatePicture(int state) {
    return TMessageListModel::StateColumnPixmap(state, -1).copy(0, 0, 16, 16);
}

QPixmap ClipPicture() {
    return TMessageListModel::StateColumnPixmap(-1, 3).copy(16, 0, 16, 16);
}

void AddRow(QGridLayout* grid, const QPixmap& picture, const char* meaning, QWidget* parent) {
    const int row = grid->rowCount();
    auto* icon = new QLabel(parent);
    icon->setPixmap(picture);
    grid->addWidget(icon, row, 0);
    grid->addWidget(new QLabel(QString::fromLatin1(meaning), parent), row, 1);
}

} // namespace

TLegendaForm::TLegendaForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LegendaForm"));
    setWindowTitle(QStringLiteral("Legenda"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;

    auto* trees = new QGroupBox(QStringLiteral("Trees"), this);
    auto* treeGrid = new QGridLayout(trees);
    for (const TEntry& entry : kTreeEntries) {
        AddRow(treeGrid, TreeImages()[entry.Index], entry.Meaning, trees);
        ++Entries;
    }
    columns->addWidget(trees);

    auto* list = new QGroupBox(QStringLiteral("Messages"), this);
    auto* listGrid = new QGridLayout(list);
    for (const TEntry& entry : kListEntries) {
        AddRow(listGrid, StatePicture(entry.Index), entry.Meaning, list);
        ++Entries;
    }
    AddRow(listGrid, ClipPicture(), "Has attachments", list);
    ++Entries;
    listGrid->setRowStretch(listGrid->rowCount(), 1);
    columns->addWidget(list, 0, Qt::AlignTop);
    layout->addLayout(columns);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace pelmora
