#include "transport/multi_line_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace pelmora {

namespace {

constexpr std::size_t kSmallestBlock = 64 * 1024;
constexpr std::size_t kLargestBlock = 16 * 1024 * 1024;

} // namespace

TMultiLineReader::TMultiLineReader(std::string& out, std::size_t reserve, std::size_t limit)
    : Out(out), Limit(limit) {
    // A fresh string takes exactly the room asked for; the old one's memory goes first.
    std::string fresh;
    fresh.reserve(std::min(reserve, limit));
    Out.swap(fresh);
}

void TMultiLineReader::Put(const char* data, std::size_t size) {
    if (TooLong || size == 0) {
        return;
    }
    if (size > Limit - Total) {
        TooLong = true;
        std::string().swap(Out);
        std::vector<std::string>().swap(Blocks);
        return;
    }
    Total += size;
    Last = data[size - 1];
    if (Blocks.empty() && Out.capacity() - Out.size() >= size) {
        Out.append(data, size);
        return;
    }
    while (size > 0) {
        if (Blocks.empty() || Blocks.back().size() == Blocks.back().capacity()) {
            std::string block;
            block.reserve(std::clamp(Total / 2, kSmallestBlock, kLargestBlock));
            Blocks.push_back(std::move(block));
        }
        std::string& block = Blocks.back();
        std::size_t piece = std::min(size, block.capacity() - block.size());
        block.append(data, piece);
        data += piece;
        size -= piece;
    }
}

bool TMultiLineReader::Feed(std::string_view data) {
    std::size_t i = 0;
    while (i < data.size() && State != TState::End && !TooLong) {
        char c = data[i];
        switch (State) {
        case TState::LineStart:
            if (c == '.') {
                State = TState::AfterDot;
                ++i;
            } else {
                State = TState::InLine;
            }
            break;
        case TState::AfterDot:
            if (c == '\n') {
                State = TState::End;
                ++i;
            } else if (c == '\r') {
                State = TState::AfterDotCr;
                ++i;
            } else {
                State = TState::InLine; // the dot was stuffing; the line goes on
            }
            break;
        case TState::AfterDotCr:
            if (c == '\n') {
                State = TState::End;
                ++i;
            } else {
                Put('\r');
                State = TState::InLine;
            }
            break;
        case TState::InLine: {
            const char* start = data.data() + i;
            const void* found = std::memchr(start, '\n', data.size() - i);
            std::size_t end =
                found == nullptr
                    ? data.size()
                    : static_cast<std::size_t>(static_cast<const char*>(found) - data.data());
            Put(start, end - i);
            if (found == nullptr) {
                i = data.size();
                break;
            }
            // A CR right before the LF (perhaps in the previous piece) belongs to the line
            // end; a bare LF gets one.
            if (Last != '\r') {
                Put('\r');
            }
            Put('\n');
            State = TState::LineStart;
            i = end + 1;
            break;
        }
        case TState::End:
            break;
        }
    }
    return State == TState::End;
}

void TMultiLineReader::Finish() {
    if (TooLong || Blocks.empty()) {
        return;
    }
    std::string whole;
    whole.reserve(Total);
    whole.append(Out);
    std::string().swap(Out);
    for (std::string& block : Blocks) {
        whole.append(block);
        std::string().swap(block);
    }
    Blocks.clear();
    Out.swap(whole);
}

std::string UnstuffMultiLine(std::string_view reply) {
    std::size_t statusEnd = reply.find('\n');
    if (statusEnd == std::string_view::npos) {
        return {};
    }
    std::string text;
    TMultiLineReader reader(text, reply.size(), std::numeric_limits<std::size_t>::max());
    reader.Feed(reply.substr(statusEnd + 1));
    reader.Finish();
    return text;
}

} // namespace pelmora
