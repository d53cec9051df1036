#pragma once
// TPelmoraMailForm: the message window, for writing (new, reply, reply to all, forward,
// edit) and for reading a stored message. It holds widgets only: its state and every
// decision live in compose::TComposeForm; the window copies the fields in and out and
// forwards the commands. Modeless, any number at once, each listed in the main window's
// "View" menu by whoever opens it.

#include "compose/compose_form.h"
#include "compose/compose_save.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QStackedWidget;
class QTextEdit;

namespace pelmora {

class THTMLEdit;
class TMessageBrowser;
class TMessageView;
class TShell;

class TPelmoraMailForm : public QWidget {
    Q_OBJECT
public:
    TPelmoraMailForm(QWidget* owner, TShell& shell, std::unique_ptr<compose::TComposeForm> form);
    ~TPelmoraMailForm() override;

    compose::TComposeForm& Form() { return *State; }
    // Fills the window from its state after PrepareForm.
    void ShowState();

    // Opens another window from this one (New, Reply, Reply All, Forward, Edit); set by the
    // opener.
    std::function<void(compose::TComposeMode mode, const std::string& file, const compose::TComposeContext& context)>
        OpenAnother;
    // Called after a file was written (to refresh the main window's list and counts).
    std::function<void(const compose::TFileResult& result)> Filed;

    // Commands.
    void Savebutclick();
    void sendbutclick();
    void dropexitbutclick();
    void htmlbutclick();
    void attachbutclick();
    void ShowHTMLbutclick();
    void PrintTo(QPrinter& printer);
    void PrintButclick();
    // True when closing was allowed (asked about saving when modified).
    bool CloseAsked() const { return Asked; }

    // Widgets, for tests.
    QLineEdit* ToCombo() const { return ToEdit; }
    QLineEdit* Subjecit() const { return SubjectEdit; }
    QPlainTextEdit* RichEdit1() const { return PlainEdit; }
    QTextEdit* HTMLEdit1() const;
    THTMLEdit* HtmlFrame() const { return Html; }
    TMessageBrowser* Reader() const { return Browser; }
    TMessageView* ViewFrame() const { return View; }
    QPushButton* Button(const QString& name) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWidgets();
    void CopyOut();
    void ShowBody();
    void ColourAttachButton();
    void MarkModified();
    void Replace(compose::TComposeMode mode);
    QString PrintHtml() const;

    TShell& Shell; // Not owned.
    std::unique_ptr<compose::TComposeForm> State;
    bool Initialising = true;
    bool Asked = false;
    bool Replaced = false;
    QComboBox* Accountslist = nullptr;
    QLineEdit* DateEdit = nullptr;
    QLineEdit* ToEdit = nullptr;
    QLineEdit* CcEdit = nullptr;
    QLineEdit* BccEdit = nullptr;
    QLineEdit* SubjectEdit = nullptr;
    QComboBox* prioritybox = nullptr;
    QCheckBox* receiptcheckbox = nullptr;
    QStackedWidget* Editors = nullptr;
    QPlainTextEdit* PlainEdit = nullptr;
    THTMLEdit* Html = nullptr;
    TMessageView* View = nullptr;
    TMessageBrowser* Browser = nullptr; // inside View
};

} // namespace pelmora
