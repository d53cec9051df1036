#include "ui/query_form.h"

#include "shell/dialog_rules.h"
#include "ui/text_convert.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

TQueryForm::TQueryForm(const QString& caption, const QString& prompt, const QString& initial,
                       bool password, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("QueryForm"));
    setWindowTitle(caption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    // Prompts of the texts table sometimes carry their colon already; never show two.
    Prompt = new QLabel(ToQt(QueryPromptLabel(FromQt(prompt))), this);
    Prompt->setObjectName(QStringLiteral("PromptLabel"));
    Prompt->setWordWrap(true);
    layout->addWidget(Prompt);
    Field = new QLineEdit(initial, this);
    Field->setObjectName(QStringLiteral("Field"));
    Field->setMinimumWidth(320);
    Field->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    Prompt->setBuddy(Field);
    layout->addWidget(Field);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    Ok = new QPushButton(QStringLiteral("OK"), this);
    Ok->setObjectName(QStringLiteral("OkButton"));
    Ok->setDefault(true);
    buttons->addWidget(Ok);
    layout->addLayout(buttons);
    connect(Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(Field, &QLineEdit::returnPressed, this, &QDialog::accept);
    Field->selectAll();
    Field->setFocus();
}

QString TQueryForm::Answer() const {
    return ToQt(TrimAnswer(FromQt(Field->text())));
}

std::optional<QString> TQueryForm::Query() {
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return Answer();
}

} // namespace pelmora
