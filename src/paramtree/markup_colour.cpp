#include "paramtree/markup_colour.h"

#include "paramtree/text_util.h"

#include <string>

namespace pelmora {

namespace {

struct TNamedColour {
    std::string_view Name;
    bool System;
    uint32_t Value; // RGB or system colour number
};

constexpr TNamedColour kNamedColours[] = {
    {"clred", false, 0xFF0000},
    {"clblack", false, 0x000000},
    {"clblue", false, 0x0000FF},
    {"clgreen", false, 0x008000},
    {"claqua", false, 0x00FFFF},
    {"clyellow", false, 0xFFFF00},
    {"clfuchsia", false, 0xFF00FF},
    {"clwhite", false, 0xFFFFFF},
    {"cllime", false, 0x00FF00},
    {"clsilver", false, 0xC0C0C0},
    {"clgray", false, 0x808080},
    {"clolive", false, 0x808000},
    {"clnavy", false, 0x000080},
    {"clpurple", false, 0x800080},
    {"clteal", false, 0x008080},
    {"clmaroon", false, 0x800000},
    {"clbackground", true, 1},
    {"clactivecaption", true, 2},
    {"clinactivecaption", true, 3},
    {"clmenu", true, 4},
    {"clwindow", true, 5},
    {"clwindowframe", true, 6},
    {"clmenutext", true, 7},
    {"clwindowtext", true, 8},
    {"clcaptiontext", true, 9},
    {"clactiveborder", true, 10},
    {"clinactiveborder", true, 11},
    {"clappworkspace", true, 12},
    {"clhighlight", true, 13},
    {"clhighlighttext", true, 14},
    {"clbtnface", true, 15},
    {"clbtnshadow", true, 16},
    {"clgraytext", true, 17},
    {"clbtntext", true, 18},
    {"clinactivecaptiontext", true, 19},
    {"clbtnhighlight", true, 20},
    {"cl3ddkshadow", true, 21},
    {"cl3dlight", true, 22},
    {"clinfotext", true, 23},
    {"clinfobk", true, 24},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<TMarkupColour> ParseHash(std::string_view value) {
    if (value.size() < 7 || value[0] != '#')
        return std::nullopt;
    uint32_t rgb = 0;
    for (size_t i = 1; i <= 6; ++i) {
        int digit = HexDigit(value[i]);
        if (digit < 0)
            return std::nullopt;
        rgb = (rgb << 4) | static_cast<uint32_t>(digit);
    }
    return TMarkupColour{false, rgb, 0};
}

std::optional<TMarkupColour> ParseName(std::string_view value) {
    std::string name = LowerAscii(TrimView(value));
    for (const TNamedColour& entry : kNamedColours) {
        if (entry.Name == name) {
            if (entry.System)
                return TMarkupColour{true, 0, static_cast<int>(entry.Value)};
            return TMarkupColour{false, entry.Value, 0};
        }
    }
    return TMarkupColour{}; // unknown names draw black
}

} // namespace

std::optional<TMarkupColour> ParseMarkupColour(std::string_view value) {
    value = TrimView(value);
    if (!value.empty() && value[0] == '#')
        return ParseHash(value);
    if (StartsWithNoCase(value, "cl"))
        return ParseName(value);
    return std::nullopt;
}

std::optional<TMarkupColour> ParseFontColour(std::string_view value) {
    value = TrimView(value);
    if (!value.empty() && AsciiUpper(value[0]) == 'C')
        return ParseName(value);
    size_t hash = value.find('#');
    if (hash == std::string_view::npos)
        return std::nullopt;
    return ParseHash(value.substr(hash));
}

} // namespace pelmora
