#include "ui/map_sel_form.h"

#include "paramtree/node_tree.h"
#include "shell/message_texts.h"
#include "ui/markup_tree.h"
#include "ui/text_convert.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

TMapSelForm::TMapSelForm(QWidget* parent, TNodeTree& tree, const TMessageTexts& texts)
    : QDialog(parent, Qt::Tool) {
    setWindowTitle(ToQt(texts.Text(1, 251)));
    resize(369, 420);
    Label1 = new QLabel(ToQt(texts.Text(1, 250)), this);
    ParamTreeview1 = new TMarkupTree(this);
    ParamTreeview1->setObjectName(QStringLiteral("ParamTreeview1"));
    ParamTreeview1->SetTree(&tree);
    Button1 = new QPushButton(ToQt(texts.Text(3, 8)), this);
    Button2 = new QPushButton(ToQt(texts.Text(1, 115)), this);
    Button1->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ParamTreeview1, 1);
    layout->addLayout(buttons);

    // Show the selection and expansion the tree asks for.
    if (TNode* selected = tree.Selected()) {
        const QModelIndex index = ParamTreeview1->IndexOfNode(selected);
        ParamTreeview1->setCurrentIndex(index);
        ParamTreeview1->scrollTo(index);
    }
    tree.Walk([this](TNode& node) {
        ParamTreeview1->setExpanded(ParamTreeview1->IndexOfNode(&node), node.Expanded());
    });

    connect(ParamTreeview1, &TMarkupTree::NodeClicked, this, &TMapSelForm::NodeChosen);
    connect(ParamTreeview1, &QTreeView::doubleClicked, this, [this](const QModelIndex&) {
        TNode* node = ParamTreeview1->CurrentNode();
        if (node && node->Level() >= 2) {
            ChosenText = node->Text();
            accept();
        }
    });
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, [this] {
        ChosenText.clear();
        reject();
    });
}

TMapSelForm::~TMapSelForm() {
    ParamTreeview1->SetTree(nullptr);
}

void TMapSelForm::NodeChosen(TNode* node) {
    if (node && node->Level() >= 2)
        ChosenText = node->Text();
}

std::string TMapSelForm::Choose(QWidget* parent, TNodeTree& tree, const TMessageTexts& texts) {
    TMapSelForm form(parent, tree, texts);
    form.exec();
    return form.Choice();
}

} // namespace pelmora
