#include "mime/body_text.h"

#include <cstring>

namespace pelmora {

TBodyText::TBodyText(const TBodyText& other) noexcept
    : Source_(other.Source_), Offset_(other.Offset_), Length_(other.Length_) {
    if (Source_) Source_->Holders.fetch_add(1, std::memory_order_relaxed);
}

TBodyText::TBodyText(TBodyText&& other) noexcept
    : Source_(other.Source_), Offset_(other.Offset_), Length_(other.Length_) {
    other.Source_ = nullptr;
    other.Offset_ = 0;
    other.Length_ = Whole;
}

TBodyText& TBodyText::operator=(const TBodyText& other) noexcept {
    if (this == &other) return *this;
    if (other.Source_) other.Source_->Holders.fetch_add(1, std::memory_order_relaxed);
    Release();
    Source_ = other.Source_;
    Offset_ = other.Offset_;
    Length_ = other.Length_;
    return *this;
}

TBodyText& TBodyText::operator=(TBodyText&& other) noexcept {
    if (this == &other) return *this;
    Release();
    Source_ = other.Source_;
    Offset_ = other.Offset_;
    Length_ = other.Length_;
    other.Source_ = nullptr;
    other.Offset_ = 0;
    other.Length_ = Whole;
    return *this;
}

void TBodyText::Release() noexcept {
    if (Source_ && Source_->Holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete Source_;
    Source_ = nullptr;
}

TBodyText TBodyText::Own(std::string text) {
    TBodyText body;
    body.Source_ = new TSource(std::move(text));
    return body;
}

std::string_view TBodyText::View() const {
    if (!Source_) return {};
    const std::string_view whole(Source_->Text);
    return Length_ == Whole ? whole : whole.substr(Offset_, Length_);
}

TBodyText TBodyText::Slice(std::string_view inside) const {
    TBodyText slice;
    if (!Source_ || inside.empty()) return slice;
    slice = *this;
    slice.Offset_ = static_cast<std::size_t>(inside.data() - Source_->Text.data());
    slice.Length_ = inside.size();
    if (slice.Offset_ == 0 && slice.Length_ == Source_->Text.size()) slice.Length_ = Whole;
    return slice;
}

TBodyText& TBodyText::operator=(std::string text) {
    *this = Own(std::move(text));
    return *this;
}

void TBodyText::Assign(std::string_view text) { *this = Own(std::string(text)); }

void TBodyText::clear() {
    Release();
    Offset_ = 0;
    Length_ = Whole;
}

std::string& TBodyText::Mutable() {
    if (!Source_) {
        Source_ = new TSource(std::string());
    } else if (Length_ != Whole || Source_->Holders.load(std::memory_order_acquire) > 1) {
        TSource* own = new TSource(std::string(View()));
        Release();
        Source_ = own;
    }
    Offset_ = 0;
    Length_ = Whole;
    return Source_->Text;
}

void TTextLines::Assign(TBodyText text) {
    Text_ = std::move(text);
    Lines_.clear();
    Index(0);
}

void TTextLines::Append(std::string_view text) {
    if (text.empty()) return;
    std::string& own = Text_.Mutable();
    if (!own.empty() && own.back() != '\r' && own.back() != '\n') own += "\r\n";
    const std::size_t from = own.size();
    own += text;
    Index(from);
}

void TTextLines::clear() {
    Text_.clear();
    Lines_.clear();
}

void TTextLines::Index(std::size_t from) {
    const std::string_view text = Text_.View();
    const char* data = text.data();
    std::size_t start = from;
    std::size_t i = from;
    // Line breaks are rare beside the text between them: find them a block at a time. The
    // next LF is looked for again only once it is passed, so text of lone CRs stays linear.
    std::size_t lf = i;
    bool lfFound = false;
    while (i < text.size()) {
        if (!lfFound || lf < i) {
            const void* at = std::memchr(data + i, '\n', text.size() - i);
            lf = at ? static_cast<std::size_t>(static_cast<const char*>(at) - data) : text.size();
            lfFound = true;
        }
        const void* cr = std::memchr(data + i, '\r', lf - i);
        if (cr) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(cr) - data);
            Lines_.push_back({start, at});
            i = at + 1;
            if (i < text.size() && data[i] == '\n') ++i;
            start = i;
            continue;
        }
        if (lf == text.size()) break;
        Lines_.push_back({start, lf});
        i = lf + 1;
        start = i;
    }
    if (start < text.size()) Lines_.push_back({start, text.size()});
}

std::string_view TTextLines::operator[](std::size_t i) const {
    const TLine& line = Lines_[i];
    return Text_.View().substr(line.Begin, line.End - line.Begin);
}

std::string TTextLines::Joined() const {
    std::string joined;
    for (std::size_t i = 0; i < Lines_.size(); ++i) {
        if (i) joined += "\r\n";
        joined += (*this)[i];
    }
    return joined;
}

std::vector<std::string> TTextLines::Strings() const {
    std::vector<std::string> strings;
    strings.reserve(Lines_.size());
    for (std::string_view line : *this) strings.emplace_back(line);
    return strings;
}

namespace {

template <typename Lines>
bool SameLines(const TTextLines& a, const Lines& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != std::string_view(b[i])) return false;
    }
    return true;
}

} // namespace

bool operator==(const TTextLines& a, const TTextLines& b) { return SameLines(a, b); }

bool operator==(const TTextLines& a, const std::vector<std::string>& b) { return SameLines(a, b); }

std::ostream& operator<<(std::ostream& out, const TTextLines& lines) {
    out << "{";
    for (std::size_t i = 0; i < lines.size(); ++i) out << (i ? ", \"" : " \"") << lines[i] << "\"";
    return out << " }";
}

} // namespace pelmora
