#pragma once
// TQueryForm: the one-line query dialog. The answer comes back trimmed; a dialog closed
// without OK (Esc, the close box) answers nothing at all, which callers tell apart from an
// empty answer.

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pelmora {

class TQueryForm : public QDialog {
    Q_OBJECT
public:
    TQueryForm(const QString& caption, const QString& prompt, const QString& initial, bool password,
               QWidget* parent);

    // Runs the dialog and returns the trimmed answer; std::nullopt when it was cancelled.
    std::optional<QString> Query();
    QString Answer() const;

    QLabel* PromptLabel() const { return Prompt; }
    QLineEdit* Edit() const { return Field; }
    QPushButton* OkButton() const { return Ok; }

private:
    QLabel* Prompt = nullptr;
    QLineEdit* Field = nullptr;
    QPushButton* Ok = nullptr;
};

} // namespace pelmora
