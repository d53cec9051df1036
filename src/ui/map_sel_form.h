#pragma once
// TMapSelForm: the destination picker of copy and move. It shows the destination tree built
// by TFolderView::BuildDestinationTree (accounts, projects, folders) and returns the text of
// the chosen folder node: a click on a node of level 2 or deeper chooses it, a double click
// chooses it and closes, "Select+Close" closes with the choice, "Discard/Cancel" empties it
// and closes; closing the window otherwise keeps the choice made so far.

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace pelmora {

class TMarkupTree;
class TMessageTexts;
class TNode;
class TNodeTree;

class TMapSelForm : public QDialog {
    Q_OBJECT
public:
    // The tree is not owned and must outlive the window.
    TMapSelForm(QWidget* parent, TNodeTree& tree, const TMessageTexts& texts);
    ~TMapSelForm() override;

    const std::string& Choice() const { return ChosenText; }

    QLabel* Label1 = nullptr;
    TMarkupTree* ParamTreeview1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // Shows the picker modally over `parent` and returns the chosen node text (empty when
    // cancelled).
    static std::string Choose(QWidget* parent, TNodeTree& tree, const TMessageTexts& texts);

private:
    void NodeChosen(TNode* node);

    std::string ChosenText;
};

} // namespace pelmora
