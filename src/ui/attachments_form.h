#pragma once
// TAttachmentsform: the modal list of a message's attached files with "Select + Add",
// "Remove from List", "Save to Disk", "Execute/Run" and "Close this Window". It works on the
// message it is given (a composition window's own message, or one read for the main
// window's "View/Save Attachments"); the decisions live in compose::TAttachmentList.

#include "compose/attachment_list.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace pelmora {

class TShell;

class TAttachmentsform : public QDialog {
    Q_OBJECT
public:
    TAttachmentsform(QWidget* parent, TShell& shell, TMailMessage& message,
                     const std::string& openDir, bool readOnly);

    bool AttachmentsChanged() const { return List.Changed(); }
    QListWidget* attachments() const { return Rows; }
    QPushButton* Button(const QString& name) const;

    void SelectbutClick();
    void RemButClick();
    void Savethisfile1Click();
    void ExecuteRun1Click();

private:
    void FillList();

    TShell& Shell; // Not owned.
    compose::TAttachmentList List;
    QListWidget* Rows = nullptr;
};

} // namespace pelmora
