#pragma once
// TPelmoraMessageDLG: the yes/no message dialog with its "Don't ask this again" box.
// Result 1 for the first button, 2 for the second, -1 when closed any other way. The box
// state goes back to the caller only when the box was enabled and a button was pressed.

#include "ui/dialog_texts.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace pelmora {

class TPelmoraMessageDLG : public QDialog {
    Q_OBJECT
public:
    TPelmoraMessageDLG(const QString& caption, const QString& text, int textSize, bool checkState,
                       bool checkEnabled, const TDialogTexts& texts, QWidget* parent);

    // Runs the dialog; returns 1, 2 or -1 and updates checkState as described above.
    int Ask(bool& checkState);

    int Result() const { return ResultCode; }
    bool CheckState() const;
    QPushButton* FirstButton() const { return First; }
    QPushButton* SecondButton() const { return Second; }
    QCheckBox* CheckBox() const { return Check; }

    // The accelerator letter of a caption (the core's rule); null when it has none.
    static QChar AcceleratorLetter(const QString& caption);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Finish(int result);

    int ResultCode = -1;
    bool CheckEnabled = false;
    QChar FirstLetter;
    QChar SecondLetter;
    QLabel* TextLabel = nullptr;
    QCheckBox* Check = nullptr;
    QPushButton* First = nullptr;
    QPushButton* Second = nullptr;
};

} // namespace pelmora
