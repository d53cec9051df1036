#include "paramtree/markup_layout.h"

#include "paramtree/markup.h"
#include "paramtree/text_util.h"

#include <charconv>

namespace pelmora {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// An attribute of a tag, found in the tag text at a word start. Values are read between
// double quotes; an unquoted value runs to the next blank, as markup written by hand
// (for example color=#303090) is meant.
std::optional<std::string> TagAttribute(std::string_view tag, std::string_view name) {
    std::string upperTag = UpperAscii(tag);
    std::string key = UpperAscii(name) + "=";
    size_t pos = 0;
    while ((pos = upperTag.find(key, pos)) != std::string::npos) {
        if (pos > 0 && IsBlank(upperTag[pos - 1])) {
            size_t begin = pos + key.size();
            if (begin < tag.size() && tag[begin] == '"') {
                size_t end = tag.find('"', begin + 1);
                if (end == std::string_view::npos)
                    end = tag.size();
                return std::string(tag.substr(begin + 1, end - begin - 1));
            }
            size_t end = begin;
            while (end < tag.size() && !IsBlank(tag[end]))
                ++end;
            return std::string(tag.substr(begin, end - begin));
        }
        pos += key.size();
    }
    return std::nullopt;
}

int ReadInt(std::string_view text, int fallback) {
    text = TrimView(text);
    int value = fallback;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc())
        return fallback;
    (void)ptr;
    return value;
}

TMarkupImage ReadImage(std::string_view tag) {
    TMarkupImage image;
    std::string src = TagAttribute(tag, "SRC").value_or("");
    if (StartsWithNoCase(src, "idx:")) {
        image.Source = TMarkupImageSource::Index;
        image.Index = ReadInt(std::string_view(src).substr(4), -1);
    } else if (StartsWithNoCase(src, "ssys:")) {
        image.Source = TMarkupImageSource::SmallSystem;
        image.Location = src.substr(5);
    } else if (StartsWithNoCase(src, "lsys:")) {
        image.Source = TMarkupImageSource::LargeSystem;
        image.Location = src.substr(5);
    } else if (StartsWithNoCase(src, "res://")) {
        image.Source = TMarkupImageSource::Resource;
        image.Location = src.substr(6);
    } else if (StartsWithNoCase(src, "file://")) {
        image.Source = TMarkupImageSource::File;
        image.Location = src.substr(7);
    } else {
        // An unknown source draws nothing and takes no room.
        image.Source = TMarkupImageSource::Index;
        image.Index = -1;
    }
    image.Width = ReadInt(TagAttribute(tag, "WIDTH").value_or(""), 0);
    image.Height = ReadInt(TagAttribute(tag, "HEIGHT").value_or(""), 0);
    std::string align = UpperAscii(TrimView(TagAttribute(tag, "ALIGN").value_or("")));
    if (align == "TOP")
        image.Align = TMarkupImageAlign::Top;
    else if (align == "MIDDLE")
        image.Align = TMarkupImageAlign::Middle;
    return image;
}

class TLayoutBuilder {
public:
    TMarkupLayout Build(std::string_view text) {
        size_t pos = 0;
        while (pos < text.size()) {
            size_t open = text.find('<', pos);
            if (open == std::string_view::npos) {
                AddText(text.substr(pos));
                break;
            }
            AddText(text.substr(pos, open - pos));
            size_t close = text.find('>', open + 1);
            if (close == std::string_view::npos) {
                AddText(text.substr(open));
                break;
            }
            HandleTag(text.substr(open + 1, close - open - 1));
            pos = close + 1;
        }
        return std::move(Layout);
    }

private:
    TMarkupRun NewRun(TMarkupRunKind kind) const {
        TMarkupRun run;
        run.Kind = kind;
        run.Style = Style;
        run.ParamIndex = ParamIndex;
        run.ListLevel = ListLevel;
        run.Align = Align;
        run.ParagraphBackground = ParagraphBackground;
        return run;
    }

    void AddText(std::string_view raw) {
        if (raw.empty() || Hidden)
            return;
        TMarkupRun run = NewRun(TMarkupRunKind::Text);
        run.Text = UnescapeParam(raw);
        Layout.Runs.push_back(std::move(run));
    }

    void Add(TMarkupRunKind kind) {
        if (!Hidden)
            Layout.Runs.push_back(NewRun(kind));
    }

    void HandleTag(std::string_view tag) {
        bool closing = !tag.empty() && tag[0] == '/';
        std::string_view body = closing ? tag.substr(1) : tag;
        size_t nameEnd = 0;
        while (nameEnd < body.size() && !IsBlank(body[nameEnd]))
            ++nameEnd;
        std::string name = UpperAscii(body.substr(0, nameEnd));
        if (closing)
            Close(name);
        else
            Open(name, body);
    }

    void Open(const std::string& name, std::string_view tag) {
        if (name == "A") {
            auto href = TagAttribute(tag, "HREF");
            if (!href)
                return;
            TMarkupParam param;
            param.Href = *href;
            param.Class = UpperAscii(TrimView(TagAttribute(tag, "CLASS").value_or("")));
            param.Props = TagAttribute(tag, "PROPS").value_or("");
            Layout.Params.push_back(std::move(param));
            ParamIndex = static_cast<int>(Layout.Params.size()) - 1;
        } else if (name == "B") {
            Style.Bold = true;
        } else if (name == "I") {
            Style.Italic = true;
        } else if (name == "U") {
            Style.Underline = true;
        } else if (name == "S") {
            Style.StrikeOut = true;
        } else if (name == "SH") {
            Style.Shadow = true;
        } else if (name == "SUB") {
            Style.Subscript = true;
            Style.Superscript = false;
        } else if (name == "SUP") {
            Style.Superscript = true;
            Style.Subscript = false;
        } else if (name == "FONT") {
            if (auto face = TagAttribute(tag, "FACE"))
                Style.FontFace = *face;
            if (auto colour = TagAttribute(tag, "COLOR"))
                if (auto parsed = ParseFontColour(*colour))
                    Style.Colour = parsed;
            if (auto colour = TagAttribute(tag, "BGCOLOR"))
                if (auto parsed = ParseMarkupColour(*colour))
                    Style.Background = parsed;
            if (auto size = TagAttribute(tag, "SIZE")) {
                int points = ReadInt(*size, 0);
                if (points > 0 && points <= 200)
                    Style.PointSize = points;
            }
        } else if (name == "BR") {
            Add(TMarkupRunKind::LineBreak);
        } else if (name == "HR") {
            Add(TMarkupRunKind::HorizontalLine);
            Add(TMarkupRunKind::LineBreak);
        } else if (name == "P") {
            std::string align = UpperAscii(TrimView(TagAttribute(tag, "ALIGN").value_or("")));
            if (align == "RIGHT")
                Align = TMarkupAlign::Right;
            else if (align == "CENTER")
                Align = TMarkupAlign::Center;
            else
                Align = TMarkupAlign::Left;
            if (auto colour = TagAttribute(tag, "BGCOLOR"))
                ParagraphBackground = ParseMarkupColour(*colour);
        } else if (name == "BODY") {
            if (auto background = TagAttribute(tag, "BACKGROUND"))
                if (StartsWithNoCase(*background, "file://"))
                    Layout.BodyBackgroundFile = background->substr(7);
            if (auto colour = TagAttribute(tag, "BGCOLOR"))
                Layout.BodyBackground = ParseMarkupColour(*colour);
        } else if (name == "IMG") {
            if (!Hidden) {
                TMarkupRun run = NewRun(TMarkupRunKind::Image);
                run.Image = ReadImage(tag);
                Layout.Runs.push_back(std::move(run));
            }
        } else if (name == "IND") {
            if (!Hidden) {
                TMarkupRun run = NewRun(TMarkupRunKind::Indent);
                run.IndentX = ReadInt(TagAttribute(tag, "X").value_or(""), 0);
                Layout.Runs.push_back(std::move(run));
            }
        } else if (name == "UL") {
            ++ListLevel;
        } else if (name == "LI") {
            Add(TMarkupRunKind::Bullet);
        } else if (name == "Z") {
            Hidden = true;
        }
        // Any other tag is the program's own code or unknown: it has no effect.
    }

    void Close(const std::string& name) {
        if (name == "A") {
            ParamIndex = -1;
        } else if (name == "B") {
            Style.Bold = false;
        } else if (name == "I") {
            Style.Italic = false;
        } else if (name == "U") {
            Style.Underline = false;
        } else if (name == "S") {
            Style.StrikeOut = false;
        } else if (name == "SH") {
            Style.Shadow = false;
        } else if (name == "SUB" || name == "SUP") {
            Style.Subscript = false;
            Style.Superscript = false;
        } else if (name == "FONT") {
            Style.FontFace.clear();
            Style.PointSize = 0;
            Style.Colour.reset();
            Style.Background.reset();
        } else if (name == "P") {
            Add(TMarkupRunKind::LineBreak);
            Align = TMarkupAlign::Left;
            ParagraphBackground.reset();
        } else if (name == "UL") {
            if (ListLevel > 0)
                --ListLevel;
        } else if (name == "Z") {
            Hidden = false;
        }
    }

    TMarkupLayout Layout;
    TMarkupStyle Style;
    int ParamIndex = -1;
    int ListLevel = 0;
    bool Hidden = false;
    TMarkupAlign Align = TMarkupAlign::Left;
    std::optional<TMarkupColour> ParagraphBackground;
};

} // namespace

TMarkupLayout ParseMarkupLayout(std::string_view text) {
    std::string prepared(text);
    size_t hashTag = prepared.find("<#");
    if (hashTag != std::string::npos) {
        size_t close = prepared.find('>', hashTag + 2);
        if (close != std::string::npos)
            prepared.erase(close, 1);
        prepared.erase(hashTag, 2);
    }
    return TLayoutBuilder().Build(prepared);
}

std::string LayoutPlainText(const TMarkupLayout& layout) {
    std::string out;
    for (const TMarkupRun& run : layout.Runs) {
        if (run.Kind == TMarkupRunKind::Text)
            out += run.Text;
        else if (run.Kind == TMarkupRunKind::LineBreak)
            out += '\n';
    }
    return out;
}

} // namespace pelmora
