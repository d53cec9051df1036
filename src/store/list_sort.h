#pragma once
// The order of the message list: two cells compare as date-times when both hold a date or a
// time of the list's own form ("dd-mm-yyyy hh:nn"), else as numbers when the text before the
// first blank of both is a number (thousands separators "," ignored), else as text (letter
// case significant: a word in small letters before the same word in capitals). Every cell is
// turned into a key once per sort, never per comparison. Cells of different kinds order
// date-times before numbers before texts, so the order stays consistent for mixed columns.

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMessageList;
class TRegistry;

enum class TSortKind { Date = 0, Number = 1, Text = 2 };

struct TSortKey {
    TSortKind Kind = TSortKind::Text;
    double Value = 0;   // date-time or number
    std::string Folded; // text: small letters
    std::string_view Original;
};

TSortKey MakeSortKey(std::string_view cell);
// <0, 0 or >0.
int CompareSortKeys(const TSortKey& a, const TSortKey& b);
int CompareCells(std::string_view a, std::string_view b);

// "d-m-yyyy", "d-m-yyyy h:nn", "d-m-yyyy h:nn:ss" or "h:nn[:ss]" as a sortable value; false
// for any other text.
bool ParseListDateTime(std::string_view text, double& value);
// The number before the first blank ("," removed); false when it is not a number.
bool ParseListNumber(std::string_view text, double& value);

// The row order of `cells` (stable), ascending or descending.
std::vector<int> SortedOrder(const std::vector<std::string_view>& cells, bool ascending);

// The sort kept between runs: section "Sort", values "SortCol" and "Ascending" of
// registry.ini. A stored column outside the list leaves the list unsorted.
void LoadListSort(const TRegistry& registry, TMessageList& list);
bool SaveListSort(TRegistry& registry, const TMessageList& list);

} // namespace pelmora
