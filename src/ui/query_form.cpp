#include "ui/query_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

TQueryForm::TQueryForm(const QString& caption, const QString& prompt, const QString& initial,
                       bool password, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("QueryForm"));
    setWindowTitle(caption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    // Prompts of the texts table sometimes carry their colon already; never show two.
    QString label = prompt.trimmed();
    if (!label.endsWith(QLatin1Char(':')))
        label += QLatin1Char(':');
    Prompt = new QLabel(label, this);
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

QString TQueryForm::Answer() const
{
    return Field->text().trimmed();
}

QString TQueryForm::Query()
{
    return exec() == QDialog::Accepted ? Answer() : QString();
}

} // namespace pelmora
