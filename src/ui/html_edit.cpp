#include "ui/html_edit.h"

#include "compose/compose_text.h"
#include "mime/mail_message.h"
#include "shell/shell_state.h"
#include "ui/message_view_form.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace pelmora {

namespace {

// Points of the HTML font sizes 1 to 7 (the sizes browsers give them at 96 dpi).
constexpr int kPointSizes[7] = {8, 10, 12, 14, 18, 24, 36};
// Headings 1 to 6 as the editor writes them: bold, at these point sizes.
constexpr int kHeadingPoints[6] = {24, 18, 14, 12, 10, 8};
constexpr int kStylePreformatted = 7;
// A picture larger than this is not shown in the editor (it is still sent).
constexpr qint64 kMaxPictureBytes = 32 * 1024 * 1024;
// HTML files opened into the editor.
constexpr qint64 kMaxOpenBytes = 64 * 1024 * 1024;

} // namespace

THtmlEditControl::THtmlEditControl(QWidget* parent) : QTextEdit(parent) {}

void THtmlEditControl::SetAllowed(const QString& directory, const QStringList* files) {
    Directory = directory.isEmpty() ? QString() : QFileInfo(directory).canonicalFilePath();
    Files = files;
}

QVariant THtmlEditControl::loadResource(int type, const QUrl& name) {
    const QString path = LocalPathOf(name);
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    // Only plain files: a device or a pipe would never end.
    if (!info.isFile() || info.size() > kMaxPictureBytes)
        return {};
    const QString canonical = info.canonicalFilePath();
    bool allowed = !Directory.isEmpty() && canonical.startsWith(Directory + QLatin1Char('/'));
    if (!allowed && Files) {
        for (const QString& file : *Files)
            allowed = allowed || QFileInfo(file).canonicalFilePath() == canonical;
    }
    if (!allowed)
        return {};
    QFile file(canonical);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    (void)type;
    return file.readAll();
}

THTMLEdit::THTMLEdit(QWidget* parent, TShell& shell) : QWidget(parent), Shell(shell) {
    setObjectName(QStringLiteral("HTMLEditFrame"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Edit = new THtmlEditControl(this);
    Edit->setObjectName(QStringLiteral("HTMLEdit1"));
    Edit->setAcceptRichText(true);
    Edit->SetAllowed(QString(), &Inserted);
    // Text without a size of its own is size 3 of the toolbar.
    QFont base = Edit->document()->defaultFont();
    base.setPointSize(kPointSizes[2]);
    Edit->document()->setDefaultFont(base);
    BuildToolbar();
    layout->addWidget(Bar);
    layout->addWidget(Bar2);
    layout->addWidget(Edit, 1);

    // The toolbar follows the cursor; each refresh only reads the formats at the cursor, so
    // typing costs the same in a long document as in a short one.
    connect(Edit, &QTextEdit::currentCharFormatChanged, this, [this] { RefreshToolbar(); });
    connect(Edit, &QTextEdit::cursorPositionChanged, this, [this] { RefreshToolbar(); });
    connect(Edit, &QTextEdit::copyAvailable, this, [this](bool yes) {
        Action(QStringLiteral("btnCut"))->setEnabled(yes && !Edit->isReadOnly());
        Action(QStringLiteral("btnCopy"))->setEnabled(yes);
    });
    connect(Edit, &QTextEdit::undoAvailable, Action(QStringLiteral("btnUndo")), &QAction::setEnabled);
    connect(Edit, &QTextEdit::redoAvailable, Action(QStringLiteral("btnRedo")), &QAction::setEnabled);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { RefreshClipboardButtons(); });
    Action(QStringLiteral("btnUndo"))->setEnabled(false);
    Action(QStringLiteral("btnRedo"))->setEnabled(false);
    Action(QStringLiteral("btnCut"))->setEnabled(false);
    Action(QStringLiteral("btnCopy"))->setEnabled(false);
    RefreshClipboardButtons();
    RefreshToolbar();
}

QAction* THTMLEdit::Action(const QString& name) const { return findChild<QAction*>(name); }

void THTMLEdit::BuildToolbar() {
    Bar = new QToolBar(this);
    Bar->setObjectName(QStringLiteral("HTMLEditToolbar"));
    Bar->setIconSize(QSize(16, 16));
    Bar2 = new QToolBar(this);
    Bar2->setObjectName(QStringLiteral("HTMLEditToolbar2"));
    QToolBar* bar = Bar;
    auto add = [&](const QString& text, const char* name, int module, int hint, auto click) {
        QAction* action = bar->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        if (hint > 0)
            action->setToolTip(ToQt(Shell.Text(module, hint)));
        connect(action, &QAction::triggered, this, click);
        return action;
    };
    auto checkable = [](QAction* action) {
        action->setCheckable(true);
        return action;
    };

    add(QStringLiteral("New"), "btnNew", 1, 153, [this] { NewDocument(); });
    add(QStringLiteral("Open"), "btnOpen", 1, 154, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, QString(), QString(),
            QStringLiteral("HTML + e-Mail Files (*.htm *.html *.eml *.emlf *.emlc *.emlo)"));
        if (!file.isEmpty())
            OpenFile(file);
    });
    add(QStringLiteral("Save"), "Savebut", 4, 24, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QString(), QString(),
                                                          QStringLiteral("HTML (*.htm *.html)"));
        if (!file.isEmpty() && !SaveFile(file))
            Shell.Ui().Beep();
    });
    bar->addSeparator();
    add(QStringLiteral("Cut"), "btnCut", 1, 170, [this] { Edit->cut(); });
    add(QStringLiteral("Copy"), "btnCopy", 1, 171, [this] { Edit->copy(); });
    add(QStringLiteral("Paste"), "btnPaste", 1, 172, [this] { Edit->paste(); });
    add(QStringLiteral("Undo"), "btnUndo", 1, 155, [this] { Edit->undo(); });
    add(QStringLiteral("Redo"), "btnRedo", 1, 156, [this] { Edit->redo(); });
    bar->addSeparator();
    QAction* bold = checkable(add(QStringLiteral("B"), "btnBold", 1, 157, [this](bool on) {
        QTextCharFormat format;
        format.setFontWeight(on ? QFont::Bold : QFont::Normal);
        MergeFormat(format);
    }));
    QFont boldFont = bold->font();
    boldFont.setBold(true);
    bold->setFont(boldFont);
    QAction* italic = checkable(add(QStringLiteral("I"), "btnItalic", 1, 158, [this](bool on) {
        QTextCharFormat format;
        format.setFontItalic(on);
        MergeFormat(format);
    }));
    QFont italicFont = italic->font();
    italicFont.setItalic(true);
    italic->setFont(italicFont);
    QAction* underline = checkable(add(QStringLiteral("U"), "btnUnderline", 1, 159, [this](bool on) {
        QTextCharFormat format;
        format.setFontUnderline(on);
        MergeFormat(format);
    }));
    QFont underlineFont = underline->font();
    underlineFont.setUnderline(true);
    underline->setFont(underlineFont);
    add(QStringLiteral("Colour"), "btnColor", 1, 160, [this] {
        const QColor colour = QColorDialog::getColor(Edit->textColor(), this);
        if (colour.isValid())
            SetTextColour(colour);
    });
    bar->addSeparator();
    checkable(add(QStringLiteral("1."), "btnNumList", 1, 161, [this] { ToggleList(true); }));
    checkable(add(QStringLiteral("\u2022"), "btnBullet", 1, 162, [this] { ToggleList(false); }));
    add(QStringLiteral("\u21e4"), "btnDecreaseIndent", 1, 164, [this] { ChangeIndent(-1); });
    add(QStringLiteral("\u21e5"), "btnIncreaseIndent", 1, 163, [this] { ChangeIndent(1); });
    bar->addSeparator();
    auto* alignment = new QActionGroup(this);
    alignment->setExclusive(true);
    struct TAlign {
        const char* Text;
        const char* Name;
        int Hint;
        Qt::Alignment Value;
    };
    const TAlign kAlignments[] = {{"Left", "btnAlignLeft", 166, Qt::AlignLeft},
                                  {"Center", "btnCenter", 167, Qt::AlignHCenter},
                                  {"Right", "btnAlignRight", 165, Qt::AlignRight}};
    for (const TAlign& entry : kAlignments) {
        const Qt::Alignment value = entry.Value;
        QAction* action = checkable(add(QString::fromLatin1(entry.Text), entry.Name, 1, entry.Hint,
                                        [this, value] { Edit->setAlignment(value); }));
        alignment->addAction(action);
    }

    bar = Bar2;
    cbFontName = new QComboBox(this);
    cbFontName->setObjectName(QStringLiteral("cbFontName"));
    cbFontName->setToolTip(ToQt(Shell.Text(1, 150)));
    cbFontName->addItems(QFontDatabase::families());
    cbFontName->setMinimumContentsLength(14);
    cbFontName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbFontSize = new QComboBox(this);
    cbFontSize->setObjectName(QStringLiteral("cbFontSize"));
    cbFontSize->setToolTip(ToQt(Shell.Text(1, 151)));
    for (int size = 1; size <= 7; ++size)
        cbFontSize->addItem(QString::number(size));
    cbFontStyle = new QComboBox(this);
    cbFontStyle->setObjectName(QStringLiteral("cbFontStyle"));
    cbFontStyle->setToolTip(ToQt(Shell.Text(1, 168)));
    cbFontStyle->addItem(QStringLiteral("Normal"));
    for (int level = 1; level <= 6; ++level)
        cbFontStyle->addItem(QStringLiteral("Heading %1").arg(level));
    cbFontStyle->addItem(QStringLiteral("Formatted"));
    bar->addWidget(cbFontStyle);
    bar->addWidget(cbFontName);
    bar->addWidget(cbFontSize);
    connect(cbFontName, &QComboBox::activated, this,
            [this](int index) { ApplyFontName(cbFontName->itemText(index)); });
    connect(cbFontSize, &QComboBox::activated, this,
            [this](int index) { ApplyFontSize(cbFontSize->itemText(index)); });
    connect(cbFontStyle, &QComboBox::activated, this, [this](int index) { ApplyStyle(index); });
    bar->addSeparator();
    add(QStringLiteral("HR"), "btnHR", 1, 152, [this] { InsertRule(); });
    add(QStringLiteral("Image"), "btnImage", 1, 45, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, QString(), QString(),
            QStringLiteral("All image files (*.gif *.png *.jpg *.jpe *.jpeg *.bmp)"));
        if (!file.isEmpty())
            InsertImage(file);
    });
    add(QStringLiteral("Background image"), "btnBGimg", 1, 149, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, QString(), QString(),
            QStringLiteral("All image files (*.gif *.png *.jpg *.jpe *.jpeg);;GIF (*.gif);;"
                           "PNG (*.png);;JPEG (*.jpg *.jpe *.jpeg)"));
        if (!file.isEmpty())
            SetBodyImage(file);
    });
    add(QStringLiteral("Background colour"), "btnBGColor", 1, 148, [this] {
        const QColor colour = QColorDialog::getColor(Qt::white, this);
        if (colour.isValid())
            SetBodyColour(colour);
    });
    bar->addSeparator();
    add(QStringLiteral("HTML"), "btnEditHTML", 1, 169, [this] { EditHtmlSource(); });
    checkable(add(QStringLiteral("\u00b6"), "ShowHideFmtBut", 1, 147, [this](bool on) {
        QTextOption option = Edit->document()->defaultTextOption();
        QTextOption::Flags flags = option.flags();
        flags.setFlag(QTextOption::ShowTabsAndSpaces, on);
        flags.setFlag(QTextOption::ShowLineAndParagraphSeparators, on);
        option.setFlags(flags);
        Edit->document()->setDefaultTextOption(option);
    }));
}

void THTMLEdit::SetLocalDirectory(const std::string& directory) {
    Edit->SetAllowed(ToQt(directory), &Inserted);
}

void THTMLEdit::SetDocument(const QString& html) {
    Edit->setHtml(html);
    Edit->moveCursor(QTextCursor::Start);
    RefreshToolbar();
}

QString THTMLEdit::Document() const { return Edit->toHtml(); }

void THTMLEdit::MergeFormat(const QTextCharFormat& format) {
    // With a selection the selection changes; without one, the text typed next.
    Edit->mergeCurrentCharFormat(format);
    Edit->setFocus();
}

void THTMLEdit::InsertImage(const QString& path) {
    if (path.isEmpty())
        return;
    Inserted.append(path);
    QTextImageFormat image;
    image.setName(path);
    Edit->textCursor().insertImage(image);
    Edit->setFocus();
}

void THTMLEdit::PasteHtml(const QString& fragment) { Edit->textCursor().insertHtml(fragment); }

void THTMLEdit::SelectAll() { Edit->selectAll(); }

void THTMLEdit::SetTextColour(const QColor& colour) {
    QTextCharFormat format;
    format.setForeground(colour);
    MergeFormat(format);
}

void THTMLEdit::ReplaceKeepingCursor(const QString& html) {
    const int position = Edit->textCursor().position();
    const int scroll = Edit->verticalScrollBar()->value();
    Edit->setHtml(html);
    QTextCursor cursor = Edit->textCursor();
    cursor.setPosition(std::min(position, Edit->document()->characterCount() - 1));
    Edit->setTextCursor(cursor);
    Edit->verticalScrollBar()->setValue(scroll);
    RefreshToolbar();
    Q_EMIT Rewritten();
}

void THTMLEdit::SetBodyColour(const QColor& colour) {
    ReplaceKeepingCursor(ToQt(compose::WithBodyColour(FromQt(Document()), colour.red(),
                                                      colour.green(), colour.blue())));
}

void THTMLEdit::SetBodyImage(const QString& path) {
    if (path.isEmpty())
        return;
    Inserted.append(path);
    ReplaceKeepingCursor(ToQt(compose::WithBodyImage(FromQt(Document()), FromQt(path))));
}

void THTMLEdit::ApplyFontName(const QString& family) {
    QTextCharFormat format;
    format.setFontFamilies({family});
    MergeFormat(format);
}

int THTMLEdit::PointsOfSize(int size) {
    return size >= 1 && size <= 7 ? kPointSizes[size - 1] : 0;
}

int THTMLEdit::SizeOfPoints(double points) {
    for (int size = 1; size <= 7; ++size)
        if (qFuzzyCompare(points, static_cast<double>(kPointSizes[size - 1])))
            return size;
    return 0;
}

void THTMLEdit::ApplyFontSize(const QString& item) {
    // Items "1" to "7" are the HTML sizes; an item the cursor added ("11pt") keeps its points.
    double points = PointsOfSize(item.toInt());
    if (points == 0) {
        QString text = item;
        text.remove(QStringLiteral("pt"));
        points = text.toDouble();
    }
    if (points <= 0)
        return;
    QTextCharFormat format;
    format.setFontPointSize(points);
    format.clearProperty(QTextFormat::FontSizeAdjustment);
    MergeFormat(format);
}

void THTMLEdit::ApplyStyle(int index) {
    QTextCursor cursor = Edit->textCursor();
    cursor.beginEditBlock();
    QTextBlockFormat block = cursor.blockFormat();
    block.setHeadingLevel(index >= 1 && index <= 6 ? index : 0);
    block.setNonBreakableLines(index == kStylePreformatted);
    cursor.setBlockFormat(block);
    // The paragraph's text takes the style's font.
    QTextCursor whole = cursor;
    whole.select(QTextCursor::BlockUnderCursor);
    QTextCharFormat format;
    if (index >= 1 && index <= 6) {
        format.setFontWeight(QFont::Bold);
        format.setFontPointSize(kHeadingPoints[index - 1]);
    } else {
        format.setFontWeight(QFont::Normal);
        format.setFontPointSize(kPointSizes[2]);
    }
    format.setFontFamilies(index == kStylePreformatted ? QStringList{QStringLiteral("monospace")}
                                                       : QStringList{Edit->document()->defaultFont().family()});
    whole.mergeCharFormat(format);
    Edit->mergeCurrentCharFormat(format);
    cursor.endEditBlock();
    Edit->setFocus();
}

void THTMLEdit::ToggleList(bool numbered) {
    const QTextListFormat::Style style = numbered ? QTextListFormat::ListDecimal : QTextListFormat::ListDisc;
    QTextCursor cursor = Edit->textCursor();
    cursor.beginEditBlock();
    if (QTextList* list = cursor.currentList(); list && list->format().style() == style) {
        // Off again: the paragraph leaves the list.
        const QTextBlock block = cursor.block();
        list->remove(block);
        QTextBlockFormat format = cursor.blockFormat();
        format.setIndent(0);
        cursor.setBlockFormat(format);
    } else if (list) {
        QTextListFormat format = list->format();
        format.setStyle(style);
        list->setFormat(format);
    } else {
        cursor.createList(style);
    }
    cursor.endEditBlock();
    RefreshToolbar();
    Edit->setFocus();
}

void THTMLEdit::ChangeIndent(int delta) {
    QTextCursor cursor = Edit->textCursor();
    cursor.beginEditBlock();
    if (QTextList* list = cursor.currentList()) {
        QTextListFormat format = list->format();
        format.setIndent(std::max(1, format.indent() + delta));
        list->setFormat(format);
    } else {
        QTextBlockFormat format = cursor.blockFormat();
        format.setIndent(std::max(0, format.indent() + delta));
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
    Edit->setFocus();
}

void THTMLEdit::InsertRule() {
    // The rule gets a paragraph of its own, with a new paragraph after it for the text that
    // follows: whatever stood in the rule's own paragraph would not be kept in the HTML.
    QTextCursor cursor = Edit->textCursor();
    cursor.beginEditBlock();
    const QTextBlockFormat plain = cursor.blockFormat();
    const QTextCharFormat chars = cursor.charFormat();
    QTextBlockFormat rule;
    rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                     QTextLength(QTextLength::PercentageLength, 100));
    cursor.insertBlock(rule);
    cursor.insertBlock(plain, chars);
    cursor.endEditBlock();
    Edit->setTextCursor(cursor);
    Edit->setFocus();
}

void THTMLEdit::NewDocument() {
    QTextCursor cursor(Edit->document());
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    QTextFrameFormat root = Edit->document()->rootFrame()->frameFormat();
    root.clearBackground();
    root.clearProperty(QTextFormat::BackgroundImageUrl);
    Edit->document()->rootFrame()->setFrameFormat(root);
    Edit->setCurrentCharFormat(QTextCharFormat());
    RefreshToolbar();
}

bool THTMLEdit::OpenFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxOpenBytes) {
        Shell.Ui().Beep();
        return false;
    }
    const QByteArray data = file.readAll();
    const QString suffix = QFileInfo(path).suffix().toLower();
    QString html;
    if (suffix.startsWith(QLatin1String("eml"))) {
        TMailMessage message;
        if (!message.LoadMessageFile(FromQt(path))) {
            Shell.Ui().Beep();
            return false;
        }
        if (message.PartMapStale)
            message.MapParts();
        const std::string text = message.HtmlTextLines.Joined();
        html = ToQt(!text.empty() ? text : compose::PlainToHtml(message.PlainTextLines.Joined()));
    } else {
        html = QString::fromUtf8(data);
    }
    SetDocument(html);
    Q_EMIT Rewritten();
    return true;
}

bool THTMLEdit::SaveFile(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(Document().toUtf8());
    return file.commit();
}

void THTMLEdit::EditHtmlSource() {
    const std::string html = FromQt(Document());
    if (html.empty())
        return;
    const std::string before = compose::HtmlSourceForEditing(html);
    std::string text = before;
    Shell.Ui().EditInPopup(Shell.Text(1, 88) + ": " + Shell.Text(4, 52), text);
    if (text == before)
        return;
    bool check = false;
    if (Shell.Ui().AskDialog("Message", Shell.Text(4, 1), 12, check, false) == kAskFirst)
        ReplaceKeepingCursor(ToQt(text));
}

void THTMLEdit::RefreshClipboardButtons() {
    Action(QStringLiteral("btnPaste"))->setEnabled(!Edit->isReadOnly() && Edit->canPaste());
}

void THTMLEdit::RefreshToolbar() {
    if (Refreshing)
        return;
    Refreshing = true;
    const QTextCursor cursor = Edit->textCursor();
    const QTextCharFormat format = Edit->currentCharFormat();
    const QTextBlockFormat block = cursor.blockFormat();
    const QFont font = format.font();
    Action(QStringLiteral("btnBold"))->setChecked(font.weight() >= QFont::DemiBold);
    Action(QStringLiteral("btnItalic"))->setChecked(font.italic());
    Action(QStringLiteral("btnUnderline"))->setChecked(font.underline());
    const QTextList* list = cursor.currentList();
    const QTextListFormat::Style style = list ? list->format().style() : QTextListFormat::ListStyleUndefined;
    Action(QStringLiteral("btnNumList"))->setChecked(style == QTextListFormat::ListDecimal);
    Action(QStringLiteral("btnBullet"))->setChecked(list && style != QTextListFormat::ListDecimal);
    const Qt::Alignment align = block.alignment() & Qt::AlignHorizontal_Mask;
    const char* alignName = "btnAlignLeft";
    if (align & Qt::AlignHCenter)
        alignName = "btnCenter";
    else if (align & (Qt::AlignRight | Qt::AlignTrailing))
        alignName = "btnAlignRight";
    Action(QString::fromLatin1(alignName))->setChecked(true);

    const QStringList families = format.fontFamilies().toStringList();
    const QString family = families.isEmpty() ? Edit->document()->defaultFont().family() : families.front();
    if (cbFontName->currentText() != family) {
        int index = cbFontName->findText(family, Qt::MatchFixedString);
        if (index < 0) {
            cbFontName->addItem(family);
            index = cbFontName->count() - 1;
        }
        cbFontName->setCurrentIndex(index);
    }

    // The size: an HTML size 1-7, or the points when they are none of those.
    int size = 0;
    QString sizeItem;
    if (format.hasProperty(QTextFormat::FontPointSize)) {
        size = SizeOfPoints(format.fontPointSize());
        if (size == 0)
            sizeItem = QStringLiteral("%1pt").arg(format.fontPointSize());
    } else if (format.hasProperty(QTextFormat::FontSizeAdjustment)) {
        size = std::clamp(format.intProperty(QTextFormat::FontSizeAdjustment) + 3, 1, 7);
    } else {
        size = SizeOfPoints(Edit->document()->defaultFont().pointSizeF());
        if (size == 0)
            size = 3;
    }
    if (size > 0)
        sizeItem = QString::number(size);
    if (cbFontSize->currentText() != sizeItem) {
        int index = cbFontSize->findText(sizeItem);
        if (index < 0) {
            cbFontSize->addItem(sizeItem);
            index = cbFontSize->count() - 1;
        }
        cbFontSize->setCurrentIndex(index);
    }

    int styleIndex = 0;
    if (block.headingLevel() >= 1 && block.headingLevel() <= 6)
        styleIndex = block.headingLevel();
    else if (block.nonBreakableLines())
        styleIndex = kStylePreformatted;
    cbFontStyle->setCurrentIndex(styleIndex);
    Refreshing = false;
}

} // namespace pelmora
