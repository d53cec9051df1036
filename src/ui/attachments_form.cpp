#include "ui/attachments_form.h"

#include "shell/shell_state.h"
#include "ui/text_convert.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

namespace pelmora {

TAttachmentsform::TAttachmentsform(QWidget* parent, TShell& shell, TMailMessage& message,
                                   const std::string& openDir, bool readOnly)
    : QDialog(parent), Shell(shell), List(message, openDir, readOnly) {
    setObjectName(QStringLiteral("Attachmentsform"));
    setWindowTitle(QStringLiteral("Pelmora by Sorvath") + ToQt(shell.Text(1, 229)));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(ToQt(shell.Text(1, 229)), this);
    label->setObjectName(QStringLiteral("Label1"));
    layout->addWidget(label);
    Rows = new QListWidget(this);
    Rows->setObjectName(QStringLiteral("attachments"));
    Rows->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(Rows);
    auto* buttons = new QHBoxLayout;
    struct TButton {
        const char* Name;
        int Slot;
        void (TAttachmentsform::*Click)();
    };
    const TButton kButtons[] = {{"Selectbut", 225, &TAttachmentsform::SelectbutClick},
                                {"RemBut", 227, &TAttachmentsform::RemButClick},
                                {"SaveBut", 228, &TAttachmentsform::Savethisfile1Click},
                                {"Exebut", 226, &TAttachmentsform::ExecuteRun1Click},
                                {"CloseBut", 230, nullptr}};
    for (const TButton& entry : kButtons) {
        auto* button = new QPushButton(ToQt(shell.Text(1, entry.Slot)), this);
        button->setObjectName(QString::fromLatin1(entry.Name));
        if (entry.Click)
            connect(button, &QPushButton::clicked, this, entry.Click);
        else
            connect(button, &QPushButton::clicked, this, &QDialog::accept);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    connect(Rows, &QListWidget::itemDoubleClicked, this, [this] { ExecuteRun1Click(); });
    Button(QStringLiteral("Selectbut"))->setEnabled(!readOnly);
    Button(QStringLiteral("RemBut"))->setEnabled(!readOnly);
    resize(520, 300);
    FillList();
}

QPushButton* TAttachmentsform::Button(const QString& name) const {
    return findChild<QPushButton*>(name);
}

void TAttachmentsform::FillList() {
    Rows->clear();
    for (const std::string& row : List.Rows())
        Rows->addItem(ToQt(row));
    if (Rows->count() > 0)
        Rows->setCurrentRow(0);
}

void TAttachmentsform::SelectbutClick() {
    const std::string start = Shell.Settings().File().ReadString("Defaults", "AttachPath", "");
    const QStringList files = QFileDialog::getOpenFileNames(this, windowTitle(), ToQt(start));
    if (files.isEmpty())
        return;
    std::vector<std::string> paths;
    for (const QString& file : files)
        paths.push_back(FromQt(file));
    List.Add(paths);
    Shell.Settings().File().WriteString(
        "Defaults", "AttachPath",
        std::filesystem::path(paths.front()).parent_path().string() + "/");
    FillList();
}

void TAttachmentsform::RemButClick() {
    std::vector<int> rows;
    for (const QListWidgetItem* item : Rows->selectedItems())
        rows.push_back(Rows->row(item));
    List.Remove(rows);
    FillList();
}

void TAttachmentsform::Savethisfile1Click() {
    const std::string start = Shell.Settings().File().ReadString("Defaults", "AttachSavePath", "");
    const QString folder =
        QFileDialog::getExistingDirectory(this, ToQt(Shell.Text(1, 251)), ToQt(start));
    Shell.Settings().File().WriteString("Defaults", "AttachSavePath",
                                 folder.isEmpty() ? std::string() : FromQt(folder) + "/");
    if (folder.isEmpty())
        return;
    for (const QListWidgetItem* item : Rows->selectedItems())
        List.SaveRow(Rows->row(item), FromQt(folder) + "/", Shell.Ui());
}

void TAttachmentsform::ExecuteRun1Click() {
    if (Rows->count() == 0)
        return;
    if (Rows->currentRow() < 0)
        Rows->setCurrentRow(0);
    if (const auto path = List.FileForOpening(Rows->currentRow(), Shell.Ui()))
        QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(*path)));
}

} // namespace pelmora
