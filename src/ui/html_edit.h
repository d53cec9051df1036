#pragma once
// THTMLEdit: the HTML editing frame of a message window: a rich-text editor with the
// formatting toolbar around it (fonts, sizes 1 to 7, paragraph styles, bold/italic/underline,
// colours, lists, indents, alignment, rule, pictures, body background, undo/redo, formatting
// marks, the HTML source). The toolbar follows the format at the cursor. Pictures load only
// from files the user inserted here and from the directory the window gives; every other
// address (the network, files a received message names) shows nothing.

#include <QStringList>
#include <QTextEdit>
#include <QWidget>

#include <string>

class QAction;
class QComboBox;
class QToolBar;

namespace pelmora {

class TShell;

// The editing control: a QTextEdit that loads resources only from allowed local files.
class THtmlEditControl : public QTextEdit {
    Q_OBJECT
public:
    explicit THtmlEditControl(QWidget* parent);

    // Regular files under `directory` (ends in "/"), and the listed files, may be shown.
    void SetAllowed(const QString& directory, const QStringList* files);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QString Directory;
    const QStringList* Files = nullptr; // Not owned.
};

class THTMLEdit : public QWidget {
    Q_OBJECT
public:
    THTMLEdit(QWidget* parent, TShell& shell);

    QTextEdit* Editor() const { return Edit; }
    QToolBar* Toolbar() const { return Bar; }
    QAction* Action(const QString& name) const;
    QComboBox* FontNameBox() const { return cbFontName; }
    QComboBox* FontSizeBox() const { return cbFontSize; }
    QComboBox* StyleBox() const { return cbFontStyle; }

    // Pictures of the message (written by the window) may load from this directory.
    void SetLocalDirectory(const std::string& directory);
    // Replaces the whole document; the undo history starts again.
    void SetDocument(const QString& html);
    QString Document() const;
    // Files the user put into the document here (pictures, background image).
    const QStringList& InsertedFiles() const { return Inserted; }

    // Toolbar commands without their dialogs.
    void InsertImage(const QString& path);
    void PasteHtml(const QString& fragment);
    void SelectAll();
    void SetTextColour(const QColor& colour);
    void SetBodyColour(const QColor& colour);
    void SetBodyImage(const QString& path);
    void ApplyFontName(const QString& family);
    void ApplyFontSize(const QString& item);
    void ApplyStyle(int index);
    void ToggleList(bool numbered);
    void ChangeIndent(int delta);
    void InsertRule();
    void NewDocument();
    bool OpenFile(const QString& path);
    bool SaveFile(const QString& path) const;
    void EditHtmlSource();

    // HTML font size 1 to 7 as points, and back (0 when a point size is none of them).
    static int PointsOfSize(int size);
    static int SizeOfPoints(double points);

Q_SIGNALS:
    // The document changed through a command that rewrote it (background, source, open).
    void Rewritten();

private:
    void BuildToolbar();
    void RefreshToolbar();
    void RefreshClipboardButtons();
    void ReplaceKeepingCursor(const QString& html);
    void MergeFormat(const QTextCharFormat& format);

    TShell& Shell; // Not owned.
    THtmlEditControl* Edit = nullptr;
    QToolBar* Bar = nullptr;
    QToolBar* Bar2 = nullptr;
    QComboBox* cbFontName = nullptr;
    QComboBox* cbFontSize = nullptr;
    QComboBox* cbFontStyle = nullptr;
    QStringList Inserted;
    bool Refreshing = false;
};

} // namespace pelmora
