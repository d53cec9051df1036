#pragma once
// Colours written in node texts: "#RRGGBB" or a name beginning with "cl" ("clNavy").
// Names of system colours resolve to a system colour number the view maps to its palette.

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora {

struct TMarkupColour {
    bool System = false; // true: SystemIndex names a colour of the desktop theme
    uint32_t Rgb = 0;    // 0xRRGGBB when not System
    int SystemIndex = 0; // 1 (desktop) to 24 (info background) when System

    friend bool operator==(const TMarkupColour&, const TMarkupColour&) = default;
};

// A "#" colour or a colour name. Names are looked up after lower-casing; an unknown name
// beginning with "cl" gives black. std::nullopt for anything else (including "#" followed by
// fewer than six hexadecimal digits).
std::optional<TMarkupColour> ParseMarkupColour(std::string_view value);

// The colour rule of FONT COLOR: a value beginning with "c"/"C" is a name; any other value is
// used only when it holds a "#", read from there.
std::optional<TMarkupColour> ParseFontColour(std::string_view value);

} // namespace pelmora
