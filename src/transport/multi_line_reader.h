#pragma once
// TMultiLineReader: undoes the framing of a POP3 multi-line reply (RFC 1939, section 3) while
// the reply arrives. The bytes after the status line are fed in pieces of any size: the
// stuffed dot of every line that begins with "." is removed, every line is ended with CR LF
// (a bare LF ends a line as well; a CR inside a line is kept), and the line "." ends the
// reply. The text goes into a string the caller owns and is never copied while it grows: it
// fills the room reserved beforehand, then blocks that are joined once at the end, each freed
// as soon as it is copied, so a text costs less than twice its size even when the reserved
// room was far too small (and about its size when the room was right).
// A text that would grow beyond the limit stops the reading: Overflowed() turns true and the
// text gathered so far is released.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMultiLineReader {
public:
    // out is emptied and given room for reserve bytes (up to limit).
    TMultiLineReader(std::string& out, std::size_t reserve, std::size_t limit);

    // Takes the next piece; true once the end line "." has been read. Bytes after it are
    // not taken; nothing is taken after an overflow.
    bool Feed(std::string_view data);
    // Joins what was gathered into the caller's string; call once the end was read.
    void Finish();

    bool Ended() const { return State == TState::End; }
    bool Overflowed() const { return TooLong; }
    std::size_t Size() const { return Total; }

private:
    enum class TState { LineStart, AfterDot, AfterDotCr, InLine, End };

    void Put(const char* data, std::size_t size);
    void Put(char c) { Put(&c, 1); }

    std::string& Out; // Not owned.
    std::vector<std::string> Blocks;
    std::size_t Limit;
    std::size_t Total = 0;
    TState State = TState::LineStart;
    char Last = '\n';
    bool TooLong = false;
};

// The text of a whole multi-line reply (status line, text, end line) without its framing;
// empty when the reply has no status line.
std::string UnstuffMultiLine(std::string_view reply);

} // namespace pelmora
