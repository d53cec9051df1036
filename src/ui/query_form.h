#pragma once
// TQueryForm: the one-line query dialog. The answer comes back trimmed; a dialog closed
// without OK answers an empty text.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pelmora {

class TQueryForm : public QDialog {
    Q_OBJECT
public:
    TQueryForm(const QString& caption, const QString& prompt, const QString& initial, bool password,
               QWidget* parent);

    // Runs the dialog and returns the trimmed answer.
    QString Query();
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
