#pragma once
// A node text broken into the runs a view draws and hit-tests: text with its style and
// colours, images, line breaks, rules, indents and bullets, each run tagged with the
// parameter it belongs to. Unknown tags (the program's own codes such as <XID=...>) produce
// nothing. Parsing never fails: an unclosed "<" is drawn as text.

#include "paramtree/markup_colour.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

enum class TMarkupRunKind {
    Text,           // Text holds the decoded characters
    Image,          // Image holds the source
    LineBreak,      // <BR>, the end of a <P>
    HorizontalLine, // <HR>; a line break follows it
    Indent,         // <IND X="n">: move to IndentX pixels from the item's left edge
    Bullet,         // <LI>
};

enum class TMarkupAlign { Left, Right, Center };

enum class TMarkupImageSource {
    Index,       // "idx:n": image n of the tree's image list
    SmallSystem, // "ssys:x": small system icon (number, path or file type)
    LargeSystem, // "lsys:x"
    Resource,    // "res://name"
    File,        // "file://path"
};

enum class TMarkupImageAlign { Bottom, Top, Middle };

struct TMarkupImage {
    TMarkupImageSource Source = TMarkupImageSource::Index;
    int Index = -1;       // for Index sources; -1 when the number does not read
    std::string Location; // text after the prefix for the other sources
    int Width = 0;        // stretch size for File sources when both are at least 1
    int Height = 0;
    TMarkupImageAlign Align = TMarkupImageAlign::Bottom;
};

struct TMarkupStyle {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    bool Shadow = false;
    bool Subscript = false;
    bool Superscript = false;
    std::string FontFace;                // empty: the control's font
    int PointSize = 0;                   // 0: the control's size
    std::optional<TMarkupColour> Colour; // empty: the control's text colour
    std::optional<TMarkupColour> Background;

    friend bool operator==(const TMarkupStyle&, const TMarkupStyle&) = default;
};

struct TMarkupRun {
    TMarkupRunKind Kind = TMarkupRunKind::Text;
    std::string Text;
    TMarkupStyle Style;
    int ParamIndex = -1; // index into TMarkupLayout::Params, -1 outside parameters
    TMarkupImage Image;
    int IndentX = 0;
    int ListLevel = 0; // <UL> depth at this run
    TMarkupAlign Align = TMarkupAlign::Left;
    std::optional<TMarkupColour> ParagraphBackground;
};

struct TMarkupParam {
    std::string Href;  // the parameter's name as written
    std::string Class; // upper-cased
    std::string Props; // escaped
};

struct TMarkupLayout {
    std::vector<TMarkupRun> Runs;
    std::vector<TMarkupParam> Params;
    std::optional<TMarkupColour> BodyBackground;
    std::string BodyBackgroundFile; // path after "file://" of <BODY BACKGROUND>
};

// Parses a node text. Text runs have &lt; &gt; &amp; &quot; decoded; the first "<#" and the
// ">" after it are dropped so the text between them shows as it is.
TMarkupLayout ParseMarkupLayout(std::string_view text);

// The visible text of a layout (text runs only, line breaks as "\n"): what the view draws.
std::string LayoutPlainText(const TMarkupLayout& layout);

} // namespace pelmora
