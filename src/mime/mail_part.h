#pragma once
// TMailPart: one part of a message's tree: its unfolded header entries, its transmitted and
// decoded bodies, and the sub-parts it owns (a multipart container). Header accessors never
// fail: a missing entry reads as empty. Parsing never fails either (see ParseText).
// A message may hold hundreds of thousands of parts, so a part keeps only what most parts
// need (136 bytes); the boundary between sub-parts is kept once, by their container.

#include "mime/body_text.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMailMessage;
class TMailPart;

// An ordered list of parts that does not own them.
using TMailPartList = std::vector<TMailPart*>;

enum TEncodingType { etBase64 = 0, etQuotedPrintable = 1, etNoEncoding = 2 };

// A header entry as HeaderLines holds it: the name with its first letter and every letter
// after "-" in upper case ("-ID" keeps its D), ": ", and the value trimmed, with runs of white
// space ending in a space made one space outside double quotes.
std::string NormaliseHeaderEntry(std::string_view entry);

class TMailPart {
public:
    // A part made without a message is inert: ParseText leaves it unchanged.
    explicit TMailPart(TMailMessage* owningMessage);
    // Not virtual: parts are owned as TMailPart and a message as TMailMessage, never a
    // message through a pointer to its part.
    ~TMailPart();
    TMailPart(const TMailPart&) = delete;
    TMailPart& operator=(const TMailPart&) = delete;

    // One unfolded entry per header field, file order. A part read from a text keeps its
    // header as a slice of that text instead while every entry is written in the form these
    // lines would hold it (one line, single spaces, ": " after the name); the lines are made
    // from it when the header changes, FindHeader is asked for an index, or Header() is read.
    // Reading HeaderLines of such a part directly finds it empty: use Header().
    mutable std::vector<std::string> HeaderLines;
    TBodyText RawBody;      // body as transmitted (still transfer-encoded), a slice of the text read
    TBodyText DecodedData;  // body after transfer decoding (see DecodeBody); RawBody's bytes
                            // themselves when the transfer encoding changes nothing
    TMailMessage* OwningMessage = nullptr; // Not owned. A message points to itself.
    std::vector<std::unique_ptr<TMailPart>> SubParts; // owned children, in order
    TMailPart* ParentPart = nullptr;      // Not owned.
    bool IsDecoded = false;
    bool IsEmbedded = false;

    // The boundary of the container this part sits in (empty for a part outside one).
    std::string_view ParentBoundary() const;
    // The boundary that separates this container's sub-parts, as ParentBoundary of each.
    void SetSubPartBoundary(std::string_view boundary);

    // The header entries: HeaderLines, made from the slice first where the part holds one.
    const std::vector<std::string>& Header() const;

    // Header store. A name matches an entry that starts with the name and ":", ignoring case.
    int FindHeader(std::string_view name, int n = 0) const;
    bool HasHeader(std::string_view name) const;
    std::string HeaderValue(std::string_view name) const;
    std::string HeaderParam(std::string_view name, std::string_view param) const;
    bool HasHeaderParam(std::string_view name, std::string_view param) const;
    // An empty value deletes the first matching entry only.
    void SetHeaderValue(std::string_view name, std::string_view value);
    void SetHeaderParam(std::string_view name, std::string_view param, std::string_view value);
    // Removes every matching entry.
    void RemoveHeader(std::string_view name);
    // The whole text after the first ":" of the first matching entry, untrimmed.
    std::string_view HeaderText(std::string_view name) const;

    // Reading. ParseText replaces the part's whole content with the parsed text; text without
    // a blank line is all header, a boundary that never comes leaves the body whole, and
    // nesting deeper than MaxNestingDepth stays as the body of the deepest part.
    void ParseText(std::string_view text, bool withHeaders);
    // The same, without a copy: the part bodies become slices of the text.
    void ParseText(const TBodyText& text, bool withHeaders);
    void DecodeBody();
    // The decoded body without keeping it in the part: DecodedData once DecodeBody ran, the
    // raw body itself when the transfer encoding changes nothing, else the body decoded into
    // scratch (its old content replaced, its room reused). For a caller that writes the bytes
    // somewhere and moves on, so a large attachment is decoded once, into its destination.
    std::string_view DecodedView(std::string& scratch) const;
    std::string ContentTypeLower() const;
    // The type the part has: its Content-Type in lower case, or when it names none the
    // default of its place (message/rfc822 in a digest, text/plain elsewhere).
    std::string EffectiveContentType() const;
    std::string Boundary() const;
    std::string AttachmentFileName() const;
    // The decoded body as UTF-8, converted from the part's charset (see charset.h).
    std::string TextUtf8();
    // The same, sharing the decoded bytes when they already are the UTF-8 text.
    TBodyText TextUtf8Body();

    // Building. FullText is the folded header (empty entries left out), a blank line and
    // RawBody.
    std::string FullText() const;
    void EncodeBody(TEncodingType encoding);

    // Tree editing: a new empty child appended to (or inserted into) SubParts.
    TMailPart* AddSubPart(std::string_view parentBoundary);
    TMailPart* InsertSubPart(std::size_t index, std::string_view parentBoundary);
    // Takes a child out of SubParts (nullptr when it is not a child).
    std::unique_ptr<TMailPart> DetachSubPart(const TMailPart* child);
    void ClearSubParts();

    // Nesting beyond this many multipart levels is kept as the body of the deepest part.
    static constexpr int MaxNestingDepth = 100;

protected:
    // The n-th entry named name (whole, name included), from HeaderLines or the slice.
    std::string_view FindEntry(std::string_view name, int n = 0) const;
    // Turns the slice into HeaderLines (no change of content).
    void MakeHeaderLines() const;
    // The same for this part and every part below it.
    void MakeTreeHeaderLines() const;

    // The header as read, entries separated by CR LF, while HeaderLines is empty; it lies in
    // a text the owning message keeps alive. Empty otherwise. Held as a pointer and a 32-bit
    // length beside the flags above; a header too long for that is read into lines at once.
    std::string_view RawHeader() const { return {RawHeaderData_, RawHeaderSize_}; }
    // False (and nothing kept) when the header is too long to be kept as a slice.
    bool KeepRawHeader(std::string_view header) const;
    void DropRawHeader() const {
        RawHeaderData_ = nullptr;
        RawHeaderSize_ = 0;
    }
    // Counts a change of the header: the message's HeaderVersion grows when its own changes.
    void NoteHeaderChange();

    // text lies inside whole, whose bytes the part bodies share.
    void ParseAt(const TBodyText& whole, std::string_view text, bool withHeaders, int depth);
    void ResetPartContent();

private:
    mutable std::uint32_t RawHeaderSize_ = 0;
    mutable const char* RawHeaderData_ = nullptr;
    std::unique_ptr<std::string> SubPartBoundary_; // containers only
};

} // namespace pelmora
