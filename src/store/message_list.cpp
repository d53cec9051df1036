#include "store/message_list.h"

#include "store/bulk_memory.h"
#include "store/list_sort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pelmora {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

size_t TotalSize(const std::array<std::string_view, kListColumnCount>& cells) {
    size_t total = 0;
    for (std::string_view cell : cells)
        total += cell.size();
    return total;
}

// Copies the cells back to back to `out` and notes where each ends.
void PackCells(const std::array<std::string_view, kListColumnCount>& cells, char* out,
               std::array<std::uint32_t, kListColumnCount>& ends) {
    size_t end = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (!cells[i].empty())
            std::memcpy(out + end, cells[i].data(), cells[i].size());
        end += cells[i].size();
        ends[i] = static_cast<std::uint32_t>(end);
    }
}

} // namespace

std::string_view TListRow::Cell(int column) const {
    if (column <= 0 || column > kSubItemCount)
        column = 0;
    const std::uint32_t begin = column == 0 ? 0 : Ends[static_cast<size_t>(column - 1)];
    return std::string_view(TextData() + begin, Ends[static_cast<size_t>(column)] - begin);
}

void TListRow::SetCell(int column, std::string_view text) {
    if (column < 0 || column > kSubItemCount)
        return;
    std::array<std::string_view, kListColumnCount> cells;
    for (int c = 0; c < kListColumnCount; ++c)
        cells[static_cast<size_t>(c)] = c == column ? text : Cell(c);
    SetCells(cells);
}

void TListRow::SetCells(const std::array<std::string_view, kListColumnCount>& cells) {
    // Built aside: the cells may point into the current texts.
    auto texts = std::make_shared_for_overwrite<char[]>(std::max<size_t>(TotalSize(cells), 1));
    PackCells(cells, texts.get(), Ends);
    Data = std::shared_ptr<const char>(texts, texts.get());
}

void TRowTextBlocks::SetCells(TListRow& row,
                              const std::array<std::string_view, kListColumnCount>& cells) {
    const size_t total = TotalSize(cells);
    if (Used + total > Capacity) {
        constexpr size_t kMinimum = 16 * 1024;
        constexpr size_t kMaximum = 8 * 1024 * 1024;
        Capacity = std::clamp(ExpectedBytes, std::max(kMinimum, total), std::max(kMaximum, total));
        ExpectedBytes = ExpectedBytes > Capacity ? ExpectedBytes - Capacity : 0;
        Block = AllocateBulkBlock(Capacity);
        Used = 0;
    }
    char* out = Block.get() + Used;
    PackCells(cells, out, row.Ends);
    row.Data = std::shared_ptr<const char>(Block, out);
    Used += total;
}

void TListRow::SetSubItems(const std::array<std::string_view, kSubItemCount>& items) {
    SetCells({Caption(), items[0], items[1], items[2], items[3], items[4]});
}

std::string RowPath(std::string_view caption) {
    const size_t open = caption.find('<');
    if (open == std::string_view::npos)
        return {};
    const size_t close = caption.find('>', open + 1);
    std::string_view inner = caption.substr(open + 1, close == std::string_view::npos
                                                          ? std::string_view::npos
                                                          : close - open - 1);
    return std::string(TrimBlanks(inner));
}

std::string RowCaption(int state, int image, std::string_view path) {
    std::string caption = "    " + std::to_string(state) + std::to_string(image) + "<";
    caption.append(path);
    caption += '>';
    return caption;
}

bool CaptionCountsUnread(std::string_view caption) {
    // Judged by the file name alone: a directory of the store path beginning with "_" must
    // not make every row unread. Called for every row of a listing, hence the plain loops.
    const size_t open = caption.find('<');
    if (open == std::string_view::npos)
        return false;
    const char* begin = caption.data() + open + 1;
    const char* end = caption.data() + caption.size();
    if (const void* close = std::memchr(begin, '>', static_cast<size_t>(end - begin)))
        end = static_cast<const char*>(close);
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    const char* name = end;
    while (name > begin && name[-1] != '/')
        --name;
    while (name < end && (*name == ' ' || *name == '\t'))
        ++name;
    if (name < end && *name == '_')
        return true;
    for (const char* dot = name; end - dot >= 5; ++dot) {
        if (dot[0] == '.' && (dot[1] | 0x20) == 'e' && (dot[2] | 0x20) == 'm' &&
            (dot[3] | 0x20) == 'l' && (dot[4] | 0x20) == 'o')
            return true;
    }
    return false;
}

std::string FormatSizeColumn(std::int64_t size) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6lld", static_cast<long long>(size));
    return buffer;
}

template <typename F> void TMessageList::Notify(F&& call) {
    for (TMessageListObserver* observer : std::vector<TMessageListObserver*>(Observers))
        call(*observer);
}

void TMessageList::AddObserver(TMessageListObserver* observer) {
    if (std::find(Observers.begin(), Observers.end(), observer) == Observers.end())
        Observers.push_back(observer);
}

void TMessageList::RemoveObserver(TMessageListObserver* observer) {
    Observers.erase(std::remove(Observers.begin(), Observers.end(), observer), Observers.end());
}

void TMessageList::Clear() {
    if (!Bulk())
        Notify([](TMessageListObserver& o) { o.AboutToBeReset(); });
    Rows.clear();
    SelectionCount = 0;
    FocusedRow = -1;
    if (!Bulk()) {
        Notify([](TMessageListObserver& o) { o.Reset(); });
        Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
    }
}

void TMessageList::Reserve(int rows) {
    if (rows <= 0 || static_cast<size_t>(rows) <= Rows.capacity())
        return;
    Rows.reserve(static_cast<size_t>(rows));
    HintHugePages(Rows.data() + Rows.size(), (Rows.capacity() - Rows.size()) * sizeof(TListRow));
}

int TMessageList::SortedPlace(const TListRow& row) const {
    const TSortKey key = MakeSortKey(row.Cell(SortCol));
    // After every row that sorts before or with it: rows added later go behind their equals.
    int low = 0;
    int high = Count();
    while (low < high) {
        const int mid = (low + high) / 2;
        const int c = CompareSortKeys(MakeSortKey(Rows[static_cast<size_t>(mid)].Cell(SortCol)), key);
        const bool before = SortAscending ? c <= 0 : c >= 0;
        if (before)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

int TMessageList::Add(TListRow row) {
    if (Bulk()) {
        if (row.Selected)
            ++SelectionCount;
        Rows.push_back(std::move(row));
        return Count() - 1;
    }
    const int index = SortCol >= 0 ? SortedPlace(row) : Count();
    Notify([index](TMessageListObserver& o) { o.RowsAboutToBeInserted(index, index); });
    if (row.Selected)
        ++SelectionCount;
    Rows.insert(Rows.begin() + index, std::move(row));
    if (FocusedRow >= index)
        ++FocusedRow;
    Notify([index](TMessageListObserver& o) { o.RowsInserted(index, index); });
    return index;
}

TListRow& TMessageList::AppendInBulk() {
    return Rows.emplace_back();
}

void TMessageList::Remove(int index) {
    if (index < 0 || index >= Count())
        return;
    if (!Bulk())
        Notify([index](TMessageListObserver& o) { o.RowsAboutToBeRemoved(index, index); });
    const bool wasSelected = Rows[static_cast<size_t>(index)].Selected;
    if (wasSelected)
        --SelectionCount;
    Rows.erase(Rows.begin() + index);
    if (FocusedRow == index)
        FocusedRow = -1;
    else if (FocusedRow > index)
        --FocusedRow;
    if (!Bulk()) {
        Notify([index](TMessageListObserver& o) { o.RowsRemoved(index, index); });
        if (wasSelected)
            Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
    }
}

void TMessageList::RemoveRows(const std::vector<int>& indexes) {
    if (indexes.empty())
        return;
    if (indexes.size() == 1) {
        Remove(indexes.front());
        return;
    }
    if (!Bulk())
        Notify([](TMessageListObserver& o) { o.AboutToBeReset(); });
    std::vector<bool> gone(Rows.size(), false);
    for (int index : indexes) {
        if (index >= 0 && index < Count())
            gone[static_cast<size_t>(index)] = true;
    }
    size_t kept = 0;
    int focused = -1;
    SelectionCount = 0;
    for (size_t i = 0; i < Rows.size(); ++i) {
        if (gone[i])
            continue;
        if (static_cast<int>(i) == FocusedRow)
            focused = static_cast<int>(kept);
        if (Rows[i].Selected)
            ++SelectionCount;
        if (kept != i)
            Rows[kept] = std::move(Rows[i]);
        ++kept;
    }
    Rows.resize(kept);
    FocusedRow = focused;
    if (!Bulk()) {
        Notify([](TMessageListObserver& o) { o.Reset(); });
        Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
    }
}

void TMessageList::SetState(int index, int state, std::string_view path) {
    if (index < 0 || index >= Count())
        return;
    TListRow& row = Rows[static_cast<size_t>(index)];
    row.StateIndex = state;
    row.SetCaption(RowCaption(state, row.ImageIndex, path));
    if (!Bulk())
        Notify([index](TMessageListObserver& o) { o.RowsChanged(index, index); });
}

void TMessageList::SetRow(int index, TListRow row) {
    if (index < 0 || index >= Count())
        return;
    TListRow& target = Rows[static_cast<size_t>(index)];
    if (target.Selected != row.Selected)
        SelectionCount += row.Selected ? 1 : -1;
    target = std::move(row);
    if (!Bulk())
        Notify([index](TMessageListObserver& o) { o.RowsChanged(index, index); });
}

void TMessageList::BeginBulk() {
    if (BulkDepth++ == 0)
        Notify([](TMessageListObserver& o) { o.AboutToBeReset(); });
}

void TMessageList::EndBulk() {
    if (BulkDepth == 0 || --BulkDepth > 0)
        return;
    if (SortCol >= 0)
        SortRows();
    Notify([](TMessageListObserver& o) { o.Reset(); });
    Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
}

void TMessageList::Select(int index, bool selected) {
    if (index < 0 || index >= Count())
        return;
    TListRow& row = Rows[static_cast<size_t>(index)];
    if (row.Selected == selected)
        return;
    row.Selected = selected;
    SelectionCount += selected ? 1 : -1;
    if (selected)
        FocusedRow = index;
    if (!Bulk())
        Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
}

void TMessageList::SelectOnly(int index) {
    for (TListRow& row : Rows)
        row.Selected = false;
    SelectionCount = 0;
    if (index >= 0 && index < Count()) {
        Rows[static_cast<size_t>(index)].Selected = true;
        SelectionCount = 1;
        FocusedRow = index;
    }
    if (!Bulk())
        Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
}

void TMessageList::ClearSelection() { SelectOnly(-1); }

void TMessageList::SelectAll() {
    for (TListRow& row : Rows)
        row.Selected = true;
    SelectionCount = Count();
    if (!Bulk())
        Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
}

void TMessageList::InvertSelection() {
    SelectionCount = 0;
    for (TListRow& row : Rows) {
        row.Selected = !row.Selected;
        SelectionCount += row.Selected ? 1 : 0;
    }
    if (!Bulk())
        Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
}

int TMessageList::FirstSelected() const {
    if (SelectionCount == 0)
        return -1;
    for (size_t i = 0; i < Rows.size(); ++i) {
        if (Rows[i].Selected)
            return static_cast<int>(i);
    }
    return -1;
}

void TMessageList::SetFocused(int index) {
    FocusedRow = index >= 0 && index < Count() ? index : -1;
    if (!Bulk())
        Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
}

void TMessageList::SortRows() {
    if (SortCol < 0 || Rows.size() < 2)
        return;
    std::vector<std::string_view> cells;
    cells.reserve(Rows.size());
    for (const TListRow& row : Rows)
        cells.push_back(row.Cell(SortCol));
    const std::vector<int> order = SortedOrder(cells, SortAscending);
    const int focused = FocusedRow;
    std::vector<TListRow> sorted;
    sorted.reserve(Rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == focused)
            FocusedRow = static_cast<int>(i);
        sorted.push_back(std::move(Rows[static_cast<size_t>(order[i])]));
    }
    Rows = std::move(sorted);
}

void TMessageList::SetSort(int column, bool ascending) {
    SortCol = column >= 0 && column < kListColumnCount ? column : -1;
    SortAscending = ascending;
    if (Bulk() || SortCol < 0)
        return;
    Notify([](TMessageListObserver& o) { o.AboutToBeReset(); });
    SortRows();
    Notify([](TMessageListObserver& o) { o.Reset(); });
    Notify([](TMessageListObserver& o) { o.SelectionChanged(); });
}

void TMessageList::HeadingClick(int column) {
    if (column < 0 || column >= kListColumnCount)
        return;
    if (column == SortCol)
        SetSort(column, !SortAscending);
    else
        SetSort(column, false);
}

void TMessageList::SetHeadings(const std::array<std::string, kListColumnCount>& headings) {
    if (headings == HeadingTexts)
        return;
    HeadingTexts = headings;
    Notify([](TMessageListObserver& o) { o.HeadingsChanged(); });
}

int TMessageList::CountUnread() const {
    int unread = 0;
    for (const TListRow& row : Rows)
        unread += CaptionCountsUnread(row.Caption()) ? 1 : 0;
    return unread;
}

int AppendMessageRow(TMessageList& list, std::int64_t fileSize, int state, bool showRecipients,
                     std::string_view messageId, std::string_view path,
                     std::string_view subject, std::string_view recipients,
                     std::string_view sender, std::string_view date, int image) {
    TListRow row;
    row.StateIndex = state;
    row.ImageIndex = image;
    const std::string caption = RowCaption(state, image, path);
    const std::string size = FormatSizeColumn(fileSize);
    row.SetCells({caption, date, showRecipients ? recipients : sender, subject, size, messageId});
    return list.Add(std::move(row));
}

} // namespace pelmora
