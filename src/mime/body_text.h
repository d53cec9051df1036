#pragma once
// TBodyText: the bytes of a body, shared instead of copied. A text read from the network or a
// file is held once; the bodies of its parts, their decoded forms when decoding changes
// nothing, and the shown text lines are slices of it that keep it alive. Copying a TBodyText
// shares the bytes; Mutable() gives a text of its own to write into (copy on write).
// A message of many tiny parts holds two of these per part, so the handle is kept at three
// words: a counted pointer of its own and the place of the slice.

#include <atomic>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TBodyText {
public:
    TBodyText() = default;
    TBodyText(const TBodyText& other) noexcept;
    TBodyText(TBodyText&& other) noexcept;
    TBodyText& operator=(const TBodyText& other) noexcept;
    TBodyText& operator=(TBodyText&& other) noexcept;
    ~TBodyText() { Release(); }

    // A text of its own, taking the string over.
    static TBodyText Own(std::string text);

    std::string_view View() const;
    operator std::string_view() const { return View(); } // NOLINT: read like a string
    std::size_t size() const { return View().size(); }
    bool empty() const { return View().empty(); }
    char back() const { return View().back(); }
    std::string Copy() const { return std::string(View()); }

    // The same bytes as the given view, which must lie inside this text; the slice keeps the
    // whole text alive.
    TBodyText Slice(std::string_view inside) const;

    TBodyText& operator=(std::string text);
    void Assign(std::string_view text);
    void clear();
    // A string of this body's own, holding its bytes, to change in place. Slices taken
    // before stay as they were.
    std::string& Mutable();

    friend bool operator==(const TBodyText& a, std::string_view b) { return a.View() == b; }
    friend bool operator==(const TBodyText& a, const TBodyText& b) { return a.View() == b.View(); }
    friend std::ostream& operator<<(std::ostream& out, const TBodyText& text) {
        return out << text.View();
    }

private:
    // The shared bytes and the number of handles that hold them.
    struct TSource {
        explicit TSource(std::string text) : Text(std::move(text)) {}
        std::atomic<std::size_t> Holders{1};
        std::string Text;
    };
    // Length_ of a body that is all of its source, however the source grows.
    static constexpr std::size_t Whole = static_cast<std::size_t>(-1);

    void Release() noexcept;

    TSource* Source_ = nullptr; // shared with the other handles of the same bytes
    std::size_t Offset_ = 0;
    std::size_t Length_ = Whole;
};

// Text split into lines at CR LF, lone CR or lone LF (a final line break adds no empty line),
// held as one text and the place of each line in it.
class TTextLines {
public:
    TTextLines() = default;
    explicit TTextLines(TBodyText text) { Assign(std::move(text)); }

    void Assign(TBodyText text);
    // Adds the lines of more text after the ones held.
    void Append(std::string_view text);
    void clear();

    std::size_t size() const { return Lines_.size(); }
    bool empty() const { return Lines_.empty(); }
    std::string_view operator[](std::size_t i) const;
    // The lines joined with CR LF, without a final line break.
    std::string Joined() const;

    class const_iterator {
    public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        const_iterator(const TTextLines* lines, std::size_t i) : Lines_(lines), I_(i) {}
        std::string_view operator*() const { return (*Lines_)[I_]; }
        const_iterator& operator++() {
            ++I_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return I_ == other.I_; }

    private:
        const TTextLines* Lines_;
        std::size_t I_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, Lines_.size()}; }

    std::vector<std::string> Strings() const;
    friend bool operator==(const TTextLines& a, const TTextLines& b);
    friend bool operator==(const TTextLines& a, const std::vector<std::string>& b);
    friend std::ostream& operator<<(std::ostream& out, const TTextLines& lines);

private:
    struct TLine {
        std::size_t Begin;
        std::size_t End;
    };
    void Index(std::size_t from);
    TBodyText Text_;
    std::vector<TLine> Lines_;
};

} // namespace pelmora
