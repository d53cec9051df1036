#include "ui/message_dlg.h"

#include "shell/dialog_rules.h"
#include "ui/text_convert.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pelmora {

namespace {

// Shows the accelerator underlined: marks the letter with "&" when the caption has no mark.
QString WithMnemonic(const QString& caption) {
    if (caption.contains(QLatin1Char('&')) || caption.isEmpty())
        return caption;
    return QLatin1Char('&') + caption;
}

} // namespace

QChar TPelmoraMessageDLG::AcceleratorLetter(const QString& caption) {
    const char letter = pelmora::AcceleratorLetter(FromQt(caption));
    return letter ? QChar::fromLatin1(letter) : QChar();
}

TPelmoraMessageDLG::TPelmoraMessageDLG(const QString& caption, const QString& text, int textSize,
                                       bool checkState, bool checkEnabled,
                                       const TDialogTexts& texts, QWidget* parent)
    : QDialog(parent), CheckEnabled(checkEnabled) {
    setObjectName(QStringLiteral("PelmoraMessageDLG"));
    setWindowTitle(ToQt(AskDialogTitle(FromQt(caption))));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(40, 40));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    TextLabel = new QLabel(text, this);
    TextLabel->setObjectName(QStringLiteral("TextLabel"));
    TextLabel->setWordWrap(true);
    TextLabel->setTextFormat(Qt::PlainText);
    TextLabel->setMinimumWidth(340);
    QFont font = TextLabel->font();
    font.setPointSize(textSize > 0 ? textSize : 11);
    TextLabel->setFont(font);
    top->addWidget(TextLabel, 1);
    layout->addLayout(top, 1);

    Check = new QCheckBox(texts.DontAskAgain, this);
    Check->setObjectName(QStringLiteral("DontAskAgain"));
    Check->setEnabled(checkEnabled);
    Check->setChecked(checkEnabled && checkState);
    layout->addWidget(Check);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    First = new QPushButton(WithMnemonic(texts.Yes), this);
    First->setObjectName(QStringLiteral("FirstButton"));
    Second = new QPushButton(WithMnemonic(texts.No), this);
    Second->setObjectName(QStringLiteral("SecondButton"));
    First->setDefault(true);
    buttons->addWidget(First);
    buttons->addWidget(Second);
    layout->addLayout(buttons);
    FirstLetter = AcceleratorLetter(texts.Yes);
    SecondLetter = AcceleratorLetter(texts.No);

    connect(First, &QPushButton::clicked, this, [this] { Finish(1); });
    connect(Second, &QPushButton::clicked, this, [this] { Finish(2); });
    First->setFocus();
}

bool TPelmoraMessageDLG::CheckState() const {
    return Check->isChecked();
}

void TPelmoraMessageDLG::Finish(int result) {
    ResultCode = result;
    done(result);
}

int TPelmoraMessageDLG::Ask(bool& checkState) {
    ResultCode = -1;
    First->setFocus();
    exec();
    if (ResultCode != -1 && CheckEnabled)
        checkState = Check->isChecked();
    return ResultCode;
}

void TPelmoraMessageDLG::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text().toLower();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (plain && typed.size() == 1 && FirstLetter != SecondLetter) {
        if (!FirstLetter.isNull() && typed[0] == FirstLetter) {
            First->click();
            return;
        }
        if (!SecondLetter.isNull() && typed[0] == SecondLetter) {
            Second->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

} // namespace pelmora
