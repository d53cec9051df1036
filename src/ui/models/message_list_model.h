#pragma once
// TMessageListModel: the message list as a virtual Qt table of six columns (state, date,
// sender or recipients, subject, bytes, Message-ID) over a core TMessageList. The model reads
// rows from the list when asked and follows its changes through the list's observer
// interface; it copies nothing. Without an attached list it uses a list of its own, filled by
// SetRows. Heading clicks sort through the core list (a new column descending, the sort
// column reversed).

#include "store/message_list.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

namespace pelmora {

// The data type of dragged message rows. The data holds the rows' file paths, one a line; a
// drop target in this program acts on the core list's selection, which the drag carries.
inline constexpr const char* kMessageRowsMime = "application/x-pelmora-message-rows";

// A row given to SetRows (the model's own list); the core list holds TListRow.
struct TMessageRow {
    QString Caption;      // four blanks + state + image + "<" + path + ">"
    int State = -1;       // state code of the message file
    int Image = -1;       // 3 when the message has attachments
    QStringList SubItems; // date, sender or recipients, subject, size, Message-ID
};

class TMessageListModel : public QAbstractTableModel, private TMessageListObserver {
    Q_OBJECT
public:
    static constexpr int kColumnCount = kListColumnCount;
    static constexpr int kStateRole = Qt::UserRole;
    static constexpr int kImageRole = Qt::UserRole + 1;
    static constexpr int kPathRole = Qt::UserRole + 2;
    // The file path of a row's caption: the text between the first "<" and the next ">".
    static QString PathOfCaption(const QString& caption);

    explicit TMessageListModel(QObject* parent);
    ~TMessageListModel() override;

    // Shows a core list (nullptr: the model's own list again). The list must outlive the
    // model or be detached first.
    void SetList(TMessageList* list);
    TMessageList& List() const { return *Source; }

    void SetHeadings(const QStringList& headings);
    // Replaces the rows of the shown list.
    void SetRows(QVector<TMessageRow> rows);
    void Clear();
    TMessageRow Row(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows can be dragged (onto a folder of the trees), never dropped on the list.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    // Sorts through the core list in the given direction.
    void sort(int column, Qt::SortOrder order) override;

    // A click on a column heading: the core rule of direction.
    void HeadingClicked(int column);

    // The icon of the state column for a state and image index.
    static QPixmap StateColumnPixmap(int state, int image);

Q_SIGNALS:
    // The sort column or direction changed (to be kept in the registry).
    void SortChanged(int column, bool ascending);
    // The core list's selection changed.
    void CoreSelectionChanged();

private:
    void RowsAboutToBeInserted(int first, int last) override;
    void RowsInserted(int first, int last) override;
    void RowsAboutToBeRemoved(int first, int last) override;
    void RowsRemoved(int first, int last) override;
    void RowsChanged(int first, int last) override;
    void AboutToBeReset() override;
    void Reset() override;
    void SelectionChanged() override;
    void HeadingsChanged() override;

    TMessageList OwnList;
    TMessageList* Source; // Not owned (OwnList or an attached list).
    bool Resetting = false;
};

} // namespace pelmora
