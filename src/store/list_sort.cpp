#include "store/list_sort.h"

#include "shell/settings.h"
#include "store/message_list.h"

#include <algorithm>
#include <charconv>
#include <numeric>

namespace pelmora {
namespace {

bool ReadNumber(std::string_view text, size_t& pos, int maxDigits, int& value) {
    size_t start = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
           static_cast<int>(pos - start) < maxDigits) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return pos > start;
}

bool ReadTime(std::string_view text, size_t& pos, double& minutes) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!ReadNumber(text, pos, 2, hour) || pos >= text.size() || text[pos] != ':')
        return false;
    ++pos;
    if (!ReadNumber(text, pos, 2, minute))
        return false;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!ReadNumber(text, pos, 2, second))
            return false;
    }
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    minutes = hour * 60.0 + minute + second / 60.0;
    return true;
}

char SwapCase(char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<char>(c - 'A' + 'a');
    return c;
}

} // namespace

bool ParseListDateTime(std::string_view text, double& value) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.find('-') == std::string_view::npos && text.find(':') == std::string_view::npos)
        return false;
    size_t pos = 0;
    double minutes = 0;
    if (text.find('-') == std::string_view::npos) {
        if (!ReadTime(text, pos, minutes) || pos != text.size())
            return false;
        value = minutes;
        return true;
    }
    int day = 0;
    int month = 0;
    int year = 0;
    if (!ReadNumber(text, pos, 2, day) || pos >= text.size() || text[pos] != '-')
        return false;
    ++pos;
    if (!ReadNumber(text, pos, 2, month) || pos >= text.size() || text[pos] != '-')
        return false;
    ++pos;
    if (!ReadNumber(text, pos, 4, year))
        return false;
    if (day < 1 || day > 31 || month < 1 || month > 12)
        return false;
    if (pos < text.size()) {
        if (text[pos] != ' ')
            return false;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (!ReadTime(text, pos, minutes) || pos != text.size())
            return false;
    }
    value = ((year * 12.0 + month) * 31.0 + day) * 1440.0 + minutes;
    return true;
}

bool ParseListNumber(std::string_view text, double& value) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    const size_t blank = text.find(' ');
    std::string_view word = text.substr(0, blank);
    std::string digits;
    digits.reserve(word.size());
    for (char c : word) {
        if (c != ',')
            digits.push_back(c);
    }
    if (digits.empty())
        return false;
    const char* begin = digits.data();
    if (*begin == '+')
        ++begin;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end;
}

TSortKey MakeSortKey(std::string_view cell) {
    TSortKey key;
    key.Original = cell;
    if (ParseListDateTime(cell, key.Value)) {
        key.Kind = TSortKind::Date;
    } else if (ParseListNumber(cell, key.Value)) {
        key.Kind = TSortKind::Number;
    } else {
        key.Kind = TSortKind::Text;
        key.Folded.assign(cell);
        for (char& c : key.Folded) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

int CompareSortKeys(const TSortKey& a, const TSortKey& b) {
    if (a.Kind != b.Kind)
        return static_cast<int>(a.Kind) < static_cast<int>(b.Kind) ? -1 : 1;
    if (a.Kind != TSortKind::Text) {
        if (a.Value < b.Value)
            return -1;
        return a.Value > b.Value ? 1 : 0;
    }
    if (int c = a.Folded.compare(b.Folded); c != 0)
        return c < 0 ? -1 : 1;
    // Same letters: small letters first.
    const size_t n = std::min(a.Original.size(), b.Original.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(SwapCase(a.Original[i]));
        const unsigned char y = static_cast<unsigned char>(SwapCase(b.Original[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.Original.size() == b.Original.size())
        return 0;
    return a.Original.size() < b.Original.size() ? -1 : 1;
}

int CompareCells(std::string_view a, std::string_view b) {
    return CompareSortKeys(MakeSortKey(a), MakeSortKey(b));
}

std::vector<int> SortedOrder(const std::vector<std::string_view>& cells, bool ascending) {
    std::vector<TSortKey> keys;
    keys.reserve(cells.size());
    for (std::string_view cell : cells)
        keys.push_back(MakeSortKey(cell));
    std::vector<int> order(cells.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int c = CompareSortKeys(keys[static_cast<size_t>(x)], keys[static_cast<size_t>(y)]);
        return ascending ? c < 0 : c > 0;
    });
    return order;
}

void LoadListSort(const TRegistry& registry, TMessageList& list) {
    const TListSort stored = registry.ListSort();
    const int column = stored.SortCol >= 0 && stored.SortCol < kListColumnCount ? stored.SortCol : -1;
    list.SetSort(column, stored.Ascending);
}

bool SaveListSort(TRegistry& registry, const TMessageList& list) {
    TListSort stored = registry.ListSort();
    stored.SortCol = list.SortColumn();
    stored.Ascending = list.Ascending();
    return registry.SetListSort(stored);
}

} // namespace pelmora
