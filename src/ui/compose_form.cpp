#include "ui/compose_form.h"

#include "compose/compose_save.h"
#include "compose/compose_text.h"
#include "paramtree/text_util.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "ui/attachments_form.h"
#include "ui/html_edit.h"
#include "ui/message_view_form.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace pelmora {

using namespace compose;

namespace {

// A button of the window: component name, text module and slot.
struct TButtonText {
    const char* Name;
    int Module;
    int Slot;
};

const TButtonText kButtons[] = {
    {"sendbut", 4, 22},     {"Savebut", 4, 24},      {"dropexitbut", 4, 20},   {"EditBut", 4, 0},
    {"htmlbut", 4, 11},     {"cutbut", 4, 29},       {"copybut", 4, 30},       {"paste", 4, 31},
    {"NewBut", 3, 11},      {"ReplyBut", 1, 232},    {"ReplyAllBut", 1, 233},  {"ForwardBut", 1, 234},
    {"attachbut", 4, 23},   {"PrintBut", 1, 235},    {"ShowHTMLbut", 1, 89},   {"AddSignatureBut", 4, 4},
    {"AddProjInfoBut", 4, 5}, {"ForceTrackNumBut", 4, 2},
};

} // namespace

TPelmoraMailForm::TPelmoraMailForm(QWidget* owner, TShell& shell,
                                   std::unique_ptr<TComposeForm> form)
    : QWidget(owner, Qt::Window), Shell(shell), State(std::move(form)) {
    setObjectName(QStringLiteral("PelmoraMailForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    BuildWidgets();
    resize(780, 600);
}

TPelmoraMailForm::~TPelmoraMailForm() = default;

QTextEdit* TPelmoraMailForm::HTMLEdit1() const { return Html->Editor(); }

QPushButton* TPelmoraMailForm::Button(const QString& name) const {
    return findChild<QPushButton*>(name);
}

void TPelmoraMailForm::BuildWidgets() {
    auto* layout = new QVBoxLayout(this);
    // Two rows of buttons, so the window fits a small screen.
    auto* buttons = new QGridLayout;
    buttons->setSpacing(2);
    int index = 0;
    for (const TButtonText& item : kButtons) {
        auto* button = new QPushButton(ToQt(Shell.Text(item.Module, item.Slot)), this);
        button->setObjectName(QString::fromLatin1(item.Name));
        button->setAutoDefault(false);
        buttons->addWidget(button, index / 9, index % 9);
        ++index;
    }
    layout->addLayout(buttons);

    auto* fields = new QFormLayout;
    Accountslist = new QComboBox(this);
    Accountslist->setObjectName(QStringLiteral("Accountslist"));
    Accountslist->setEditable(true);
    DateEdit = new QLineEdit(this);
    DateEdit->setObjectName(QStringLiteral("DateEdit"));
    DateEdit->setReadOnly(true);
    auto* toRow = new QHBoxLayout;
    auto* addressBook = new QPushButton(QStringLiteral("..."), this);
    addressBook->setObjectName(QStringLiteral("AddressBookButton"));
    addressBook->setEnabled(false); // the address books are not part of the program yet
    addressBook->setFixedWidth(28);
    ToEdit = new QLineEdit(this);
    ToEdit->setObjectName(QStringLiteral("ToCombo"));
    toRow->addWidget(addressBook);
    toRow->addWidget(ToEdit);
    CcEdit = new QLineEdit(this);
    CcEdit->setObjectName(QStringLiteral("CCedit"));
    BccEdit = new QLineEdit(this);
    BccEdit->setObjectName(QStringLiteral("BCCedit"));
    SubjectEdit = new QLineEdit(this);
    SubjectEdit->setObjectName(QStringLiteral("Subjecit"));
    auto* optionsRow = new QHBoxLayout;
    prioritybox = new QComboBox(this);
    prioritybox->setObjectName(QStringLiteral("prioritybox"));
    for (int slot = 39; slot <= 43; ++slot)
        prioritybox->addItem(ToQt(Shell.Text(4, slot)));
    receiptcheckbox = new QCheckBox(ToQt(Shell.Text(4, 53)), this);
    receiptcheckbox->setObjectName(QStringLiteral("receiptcheckbox"));
    optionsRow->addWidget(new QLabel(ToQt(Shell.Text(4, 38)), this));
    optionsRow->addWidget(prioritybox);
    optionsRow->addWidget(receiptcheckbox);
    optionsRow->addStretch();
    fields->addRow(ToQt(Shell.Text(4, 33)), Accountslist);
    fields->addRow(ToQt(Shell.Text(4, 34)), DateEdit);
    fields->addRow(ToQt(Shell.Text(4, 32)), toRow);
    fields->addRow(ToQt(Shell.Text(4, 35)), CcEdit);
    fields->addRow(ToQt(Shell.Text(4, 36)), BccEdit);
    fields->addRow(ToQt(Shell.Text(4, 37)), SubjectEdit);
    fields->addRow(QString(), optionsRow);
    layout->addLayout(fields);

    Editors = new QStackedWidget(this);
    PlainEdit = new QPlainTextEdit(Editors);
    PlainEdit->setObjectName(QStringLiteral("RichEdit1"));
    QFont font = PlainEdit->font();
    font.setPointSize(Shell.Settings().File().ReadInteger("MailEditor", "Plain_Text_Font_Size", 11));
    PlainEdit->setFont(font);
    Html = new THTMLEdit(Editors, Shell);
    View = new TMessageView(Editors);
    Browser = View->Browser();
    Editors->addWidget(PlainEdit);
    Editors->addWidget(Html);
    Editors->addWidget(View);
    layout->addWidget(Editors, 1);

    connect(Button(QStringLiteral("sendbut")), &QPushButton::clicked, this, &TPelmoraMailForm::sendbutclick);
    connect(Button(QStringLiteral("Savebut")), &QPushButton::clicked, this, &TPelmoraMailForm::Savebutclick);
    connect(Button(QStringLiteral("dropexitbut")), &QPushButton::clicked, this, &TPelmoraMailForm::dropexitbutclick);
    connect(Button(QStringLiteral("htmlbut")), &QPushButton::clicked, this, &TPelmoraMailForm::htmlbutclick);
    connect(Button(QStringLiteral("attachbut")), &QPushButton::clicked, this, &TPelmoraMailForm::attachbutclick);
    connect(Button(QStringLiteral("ShowHTMLbut")), &QPushButton::clicked, this, &TPelmoraMailForm::ShowHTMLbutclick);
    connect(Button(QStringLiteral("PrintBut")), &QPushButton::clicked, this, &TPelmoraMailForm::PrintButclick);
    connect(Button(QStringLiteral("NewBut")), &QPushButton::clicked, this, [this] { Replace(ModeNew); });
    connect(Button(QStringLiteral("ReplyBut")), &QPushButton::clicked, this, [this] { Replace(ModeReply); });
    connect(Button(QStringLiteral("ReplyAllBut")), &QPushButton::clicked, this, [this] { Replace(ModeReplyAll); });
    connect(Button(QStringLiteral("ForwardBut")), &QPushButton::clicked, this, [this] { Replace(ModeForward); });
    connect(Button(QStringLiteral("EditBut")), &QPushButton::clicked, this, [this] { Replace(ModeOpen); });
    auto editor = [this]() -> QWidget* { return Editors->currentWidget() == Html ? HTMLEdit1() : static_cast<QWidget*>(PlainEdit); };
    connect(Button(QStringLiteral("cutbut")), &QPushButton::clicked, this, [this, editor] {
        if (editor() == HTMLEdit1()) HTMLEdit1()->cut(); else PlainEdit->cut();
    });
    connect(Button(QStringLiteral("copybut")), &QPushButton::clicked, this, [this, editor] {
        if (Editors->currentWidget() == View) Browser->copy();
        else if (editor() == HTMLEdit1()) HTMLEdit1()->copy(); else PlainEdit->copy();
    });
    connect(Button(QStringLiteral("paste")), &QPushButton::clicked, this, [this, editor] {
        if (editor() == HTMLEdit1()) HTMLEdit1()->paste(); else PlainEdit->paste();
    });
    // Project information, signatures and tracking numbers come with the project features.
    for (const char* later : {"AddSignatureBut", "AddProjInfoBut", "ForceTrackNumBut"})
        Button(QString::fromLatin1(later))->setEnabled(false);

    for (QLineEdit* edit : {ToEdit, CcEdit, BccEdit, SubjectEdit})
        connect(edit, &QLineEdit::textEdited, this, [this] { MarkModified(); });
    connect(prioritybox, &QComboBox::currentIndexChanged, this, [this] { MarkModified(); });
    connect(receiptcheckbox, &QCheckBox::toggled, this, [this] { MarkModified(); });
    connect(PlainEdit, &QPlainTextEdit::textChanged, this, [this] { MarkModified(); });
    connect(HTMLEdit1(), &QTextEdit::textChanged, this, [this] { MarkModified(); });
    connect(Accountslist, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        if (Initialising || State->ViewOnly)
            return;
        MarkModified();
        if (FromQt(text) != State->Context.Account.AccountName && !State->AccountChanged) {
            State->AccountChanged = true;
            bool dontAsk = Shell.Settings().File().ReadBool("ExclSessionParam", "WarnSelectOtherAccount", false);
            if (!dontAsk) {
                Shell.PlaySound(TSound::Popped);
                Shell.Ui().AskDialog("Message", Shell.Text(1, 57), 10, dontAsk, true);
                Shell.Settings().File().WriteBool("ExclSessionParam", "WarnSelectOtherAccount", dontAsk);
            }
        }
    });
}

void TPelmoraMailForm::ShowState() {
    Initialising = true;
    TComposeForm& form = *State;
    setWindowTitle(ToQt(form.Caption));
    Accountslist->clear();
    for (const std::string& item : form.AccountItems)
        Accountslist->addItem(ToQt(item));
    Accountslist->setCurrentText(ToQt(form.AccountText));
    DateEdit->setText(ToQt(form.DateText));
    ToEdit->setText(ToQt(form.To));
    CcEdit->setText(ToQt(form.Cc));
    BccEdit->setText(ToQt(form.Bcc));
    SubjectEdit->setText(ToQt(form.Subject));
    prioritybox->setCurrentIndex(form.PriorityIndex);
    receiptcheckbox->setChecked(form.Receipt);
    PlainEdit->setPlainText(ToQtLines(form.PlainText));
    if (form.ViewOnly) {
        View->ShowMessage(form.HtmlText, form.CidFiles, form.WorkDir());
    } else {
        Html->SetLocalDirectory(form.WorkDir());
        Html->SetDocument(ToQt(form.HtmlText));
    }

    const bool view = form.ViewOnly;
    for (QWidget* field : {static_cast<QWidget*>(ToEdit), static_cast<QWidget*>(CcEdit),
                           static_cast<QWidget*>(BccEdit), static_cast<QWidget*>(SubjectEdit)})
        static_cast<QLineEdit*>(field)->setReadOnly(view);
    Accountslist->setEnabled(!view);
    prioritybox->setEnabled(!view);
    receiptcheckbox->setEnabled(!view);
    PlainEdit->setReadOnly(view);
    Button(QStringLiteral("Savebut"))->setEnabled(!view);
    Button(QStringLiteral("sendbut"))->setEnabled(!view);
    Button(QStringLiteral("cutbut"))->setEnabled(!view);
    Button(QStringLiteral("paste"))->setEnabled(!view);
    for (const char* name : {"NewBut", "ReplyBut", "ReplyAllBut", "ForwardBut", "ShowHTMLbut"})
        Button(QString::fromLatin1(name))->setEnabled(view);
    Button(QStringLiteral("EditBut"))->setEnabled(view && form.FromOutgoing);
    ShowBody();
    ColourAttachButton();
    Initialising = false;
}

void TPelmoraMailForm::ShowBody() {
    const TComposeForm& form = *State;
    QPushButton* htmlbut = Button(QStringLiteral("htmlbut"));
    if (form.ViewOnly) {
        Editors->setCurrentWidget(form.ShowPlainInView ? static_cast<QWidget*>(PlainEdit) : View);
        if (form.ShowPlainInView && Trim(form.PlainText).empty())
            PlainEdit->setPlainText(ToQtLines(HtmlToPlain(form.HtmlText)));
        htmlbut->setText(ToQt(Shell.Text(4, form.ShowPlainInView ? 11 : 12)));
        return;
    }
    Editors->setCurrentWidget(form.HtmlVisible ? static_cast<QWidget*>(Html) : static_cast<QWidget*>(PlainEdit));
    htmlbut->setText(ToQt(Shell.Text(4, form.HtmlVisible ? 12 : 11)));
}

void TPelmoraMailForm::ColourAttachButton() {
    bool attached = false;
    for (const TMailPart* part : State->Message.Attachments)
        attached = attached || !part->IsEmbedded;
    Button(QStringLiteral("attachbut"))->setStyleSheet(attached ? QStringLiteral("color: #800000; font-weight: bold") : QString());
}

void TPelmoraMailForm::MarkModified() {
    if (!Initialising && !State->ViewOnly)
        State->Modified = true;
}

void TPelmoraMailForm::CopyOut() {
    TComposeForm& form = *State;
    form.AccountText = FromQt(Accountslist->currentText());
    form.To = FromQt(ToEdit->text());
    form.Cc = FromQt(CcEdit->text());
    form.Bcc = FromQt(BccEdit->text());
    form.Subject = FromQt(SubjectEdit->text());
    form.PriorityIndex = prioritybox->currentIndex();
    form.Receipt = receiptcheckbox->isChecked();
    QString plain = PlainEdit->toPlainText();
    plain.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    form.PlainText = FromQt(plain);
    if (form.HtmlVisible) {
        form.HtmlText = FromQt(Html->Document());
        form.InsertedFiles.clear();
        for (const QString& file : Html->InsertedFiles())
            form.InsertedFiles.push_back(FromQt(file));
    }
}

void TPelmoraMailForm::Savebutclick() {
    CopyOut();
    setEnabled(false);
    const TFileResult result = SaveMessage(*State, Shell);
    setEnabled(true);
    if (result.Written) {
        setWindowTitle(ToQt(State->Caption));
        if (Filed)
            Filed(result);
    }
}

void TPelmoraMailForm::sendbutclick() {
    CopyOut();
    setEnabled(false);
    const TFileResult result = SendMessage(*State, Shell);
    setEnabled(true);
    if (!result.Written)
        return;
    if (Filed)
        Filed(result);
    close();
}

void TPelmoraMailForm::dropexitbutclick() {
    if (!State->Modified || State->ViewOnly) {
        State->Modified = false;
        close();
        return;
    }
    bool check = false;
    const int answer = Shell.Ui().AskDialog("Message", Shell.Text(4, 21), 12, check, false);
    if (answer == kAskFirst) {
        Savebutclick();
    } else if (answer == kAskSecond) {
        State->Modified = false;
        close();
    }
}

void TPelmoraMailForm::htmlbutclick() {
    TComposeForm& form = *State;
    if (form.ViewOnly) {
        form.ShowPlainInView = !form.ShowPlainInView;
        ShowBody();
        return;
    }
    CopyOut();
    if (SwitchBody(form, Shell)) {
        Initialising = true;
        if (form.HtmlVisible)
            Html->SetDocument(ToQt(form.HtmlText));
        else
            PlainEdit->setPlainText(ToQtLines(form.PlainText));
        Initialising = false;
    }
    ShowBody();
}

void TPelmoraMailForm::attachbutclick() {
    TAttachmentsform window(this, Shell, State->Message, State->WorkDir(), State->ViewOnly);
    window.exec();
    if (!State->ViewOnly && window.AttachmentsChanged())
        State->Modified = true;
    ColourAttachButton();
}

void TPelmoraMailForm::ShowHTMLbutclick() {
    QDialog dialog(this);
    dialog.setWindowTitle(ToQt(State->Mode == ModeNew ? State->Message.GetSender().Address
                                                      : Shell.Text(1, 90)));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QPlainTextEdit(&dialog);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The source may hold any bytes; it is shown as UTF-8 with replacement characters.
    text->setPlainText(ToQtLines(MessageSource(*State)));
    layout->addWidget(text);
    dialog.resize(760, 560);
    dialog.exec();
}

QString TPelmoraMailForm::PrintHtml() const {
    const TComposeForm& form = *State;
    const TMailMessage& message = form.Message;
    const TMailAddress sender = message.GetSender();
    auto line = [](const std::string& label, const std::string& value) {
        return ToQt(EscapeHtml(label) + ": " + EscapeHtml(value) + "<BR>");
    };
    QString html = QStringLiteral("<HR><font face=\"verdana,arial\" size=-1>");
    html += line(Shell.Text(1, 307), HeaderDateText(form.MessageDate));
    html += line(Shell.Text(4, 33), AddressPairText(sender.Name, sender.Address));
    html += line(Shell.Text(4, 32), form.ViewOnly ? message.ToRecipients.AddressesCommaText() : form.To);
    html += line(Shell.Text(3, 32), message.HeaderValue("Organization"));
    html += line(Shell.Text(4, 37), form.Subject);
    html += QStringLiteral("<HR></font><P>");
    const bool plain = form.ViewOnly ? form.ShowPlainInView : !form.HtmlVisible;
    if (plain)
        html += QStringLiteral("<pre>") + PlainEdit->toPlainText().toHtmlEscaped() + QStringLiteral("</pre>");
    else
        html += form.ViewOnly ? ToQt(form.HtmlText) : Html->Document();
    return html;
}

void TPelmoraMailForm::PrintTo(QPrinter& printer) {
    QTextDocument document;
    // Pictures of the message come from its own files; nothing is fetched.
    for (const auto& [id, path] : State->CidFiles)
        document.addResource(QTextDocument::ImageResource, QUrl(ToQt("cid:" + id)), QImage(ToQt(path)));
    document.setHtml(PrintHtml());
    document.print(&printer);
}

void TPelmoraMailForm::PrintButclick() {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(printer);
    if (State->PrintOnOpen)
        close();
}

void TPelmoraMailForm::Replace(TComposeMode mode) {
    if (!OpenAnother)
        return;
    Replaced = true;
    hide();
    OpenAnother(mode, mode == ModeNew ? std::string() : State->SourceFile, State->Context);
    State->Modified = false;
    close();
}

void TPelmoraMailForm::closeEvent(QCloseEvent* event) {
    if (State->Modified && !State->ViewOnly) {
        raise();
        CopyOut();
        bool check = false;
        if (Shell.Ui().AskDialog("Message", Shell.Text(4, 21), 12, check, false) == kAskFirst) {
            const TFileResult result = SaveMessage(*State, Shell);
            if (result.Written && Filed)
                Filed(result);
        }
        State->Modified = false;
    }
    Asked = true;
    event->accept();
}

} // namespace pelmora
