#pragma once
// TMessageList: the rows of the message list (one per message file) as plain values in a
// vector, with the selection, the focused row and the sort state. The Qt table model and the
// index files read the rows from here; every change is reported to the observers so a view
// can follow it. Rows hold texts exactly as shown and stored in "tree.lst".

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

constexpr int kListColumnCount = 6; // state, date, sender/recipients, subject, bytes, Message-ID
constexpr int kSubItemCount = 5;
constexpr int kImageAttachment = 3;

struct TListRow {
    // Four blanks + state + image index + "<" + path of the message file + ">".
    std::string_view Caption() const { return Cell(0); }
    // Date, sender or recipients, subject, size ("%.6d"), Message-ID: `index` 0 to 4.
    std::string_view SubItem(int index) const { return Cell(index + 1); }
    // The text of a column: 0 the caption, 1 to 5 the sub-items.
    std::string_view Cell(int column) const;

    void SetCaption(std::string_view text) { SetCell(0, text); }
    void SetSubItem(int index, std::string_view text) { SetCell(index + 1, text); }
    void SetSubItems(const std::array<std::string_view, kSubItemCount>& items);
    // All six texts at once: the caption, then the sub-items.
    void SetCells(const std::array<std::string_view, kListColumnCount>& cells);
    void SetCell(int column, std::string_view text);

    int ImageIndex = -1; // kImageAttachment when the message has an attachment
    int StateIndex = -1; // state code of the message (message_files.h)
    bool Selected = false;

private:
    friend class TRowTextBlocks;
    const char* TextData() const { return Data ? Data.get() : ""; }

    // The six texts back to back; Ends[c] is where column c's text ends. Texts are never
    // changed in place: a change builds new ones, so copies of a row and the rows of a bulk
    // load (which share one large block) can share them.
    std::shared_ptr<const char> Data;
    std::array<std::uint32_t, kListColumnCount> Ends{};
};

// Gives the rows of a bulk load their texts in a few large shared blocks instead of one
// allocation per row.
class TRowTextBlocks {
public:
    // Sizes the blocks for about `rows` more rows.
    void Expect(std::size_t rows) { ExpectedBytes = rows * kBytesPerRowGuess; }
    void SetCells(TListRow& row, const std::array<std::string_view, kListColumnCount>& cells);

private:
    static constexpr std::size_t kBytesPerRowGuess = 256;
    std::shared_ptr<char[]> Block;
    std::size_t Used = 0;
    std::size_t Capacity = 0;
    std::size_t ExpectedBytes = 0;
};

// The file path of a caption: the text between the first "<" and the following ">",
// trimmed; empty without "<".
std::string RowPath(std::string_view caption);
std::string RowCaption(int state, int image, std::string_view path);
// A row counts as unread when its file name begins with "_" or it is an orphan (".emlo").
bool CaptionCountsUnread(std::string_view caption);
// The size column: decimal, at least six digits, zero-padded.
std::string FormatSizeColumn(std::int64_t size);

// Notifications in the order a Qt item model needs them.
class TMessageListObserver {
public:
    virtual ~TMessageListObserver() = default;
    virtual void RowsAboutToBeInserted(int /*first*/, int /*last*/) {}
    virtual void RowsInserted(int /*first*/, int /*last*/) {}
    virtual void RowsAboutToBeRemoved(int /*first*/, int /*last*/) {}
    virtual void RowsRemoved(int /*first*/, int /*last*/) {}
    virtual void RowsChanged(int /*first*/, int /*last*/) {}
    virtual void AboutToBeReset() {}
    virtual void Reset() {}
    virtual void SelectionChanged() {}
    virtual void HeadingsChanged() {}
};

class TMessageList {
public:
    TMessageList() = default;
    TMessageList(const TMessageList&) = delete;
    TMessageList& operator=(const TMessageList&) = delete;

    // Observers are not owned and must be removed before they are destroyed.
    void AddObserver(TMessageListObserver* observer);
    void RemoveObserver(TMessageListObserver* observer);

    int Count() const { return static_cast<int>(Rows.size()); }
    bool Empty() const { return Rows.empty(); }
    const TListRow& Row(int index) const { return Rows[static_cast<size_t>(index)]; }
    const std::vector<TListRow>& AllRows() const { return Rows; }

    void Clear();
    // Makes room for `rows` rows in all (bulk loads).
    void Reserve(int rows);
    // Adds a row: at the end, or at its sorted place while the list is sorted. Returns its
    // index.
    int Add(TListRow row);
    // Between BeginBulk and EndBulk: appends an empty row to fill in place (bulk loads).
    TListRow& AppendInBulk();
    void Remove(int index);
    // Removes many rows in one pass (indexes ascending, no repeats).
    void RemoveRows(const std::vector<int>& indexes);
    // Replaces a row's state and path (the caption is rebuilt) or any of its values.
    void SetState(int index, int state, std::string_view path);
    void SetRow(int index, TListRow row);

    // Between BeginBulk and EndBulk rows are appended unsorted and unannounced; EndBulk sorts
    // once and reports a reset. Used for whole listings.
    void BeginBulk();
    void EndBulk();
    bool Bulk() const { return BulkDepth > 0; }

    // Selection and focus.
    void Select(int index, bool selected);
    void SelectOnly(int index);
    void ClearSelection();
    void SelectAll();
    void InvertSelection();
    int SelectedCount() const { return SelectionCount; }
    // The first selected row; -1 without a selection.
    int FirstSelected() const;
    int Focused() const { return FocusedRow; }
    void SetFocused(int index);

    // Sorting: column -1 is unsorted.
    int SortColumn() const { return SortCol; }
    bool Ascending() const { return SortAscending; }
    // Sets the order and sorts the rows at once.
    void SetSort(int column, bool ascending);
    // A click on a heading: a new column sorts descending, the sort column flips.
    void HeadingClick(int column);

    // The heading of column 2 (sender or recipients) changes with the listed folder.
    const std::array<std::string, kListColumnCount>& Headings() const { return HeadingTexts; }
    void SetHeadings(const std::array<std::string, kListColumnCount>& headings);

    // Counts the rows that count as unread.
    int CountUnread() const;

private:
    void SortRows();
    int SortedPlace(const TListRow& row) const;
    template <typename F> void Notify(F&& call);

    std::vector<TListRow> Rows;
    std::vector<TMessageListObserver*> Observers; // Not owned.
    std::array<std::string, kListColumnCount> HeadingTexts;
    int SelectionCount = 0;
    int FocusedRow = -1;
    int SortCol = -1;
    bool SortAscending = false;
    int BulkDepth = 0;
};

// Appends one row built from the given values; every writer of rows builds them here.
// Returns the row's index.
int AppendMessageRow(TMessageList& list, std::int64_t fileSize, int state, bool showRecipients,
                     std::string_view messageId, std::string_view path,
                     std::string_view subject, std::string_view recipients,
                     std::string_view sender, std::string_view date, int image);

} // namespace pelmora
