#pragma once
// The inputs of the store benchmark, the same on every run. Two sets of another seed and
// shape each:
//   set 1  index rows of an inbox: short subjects, one sender each; message files of a
//          realistic mix (plain text, text with HTML, now and then one attachment of 20-120 KB)
//   set 2  index rows of a sent folder: long UTF-8 subjects (cut in the index), many
//          recipients in the address column, long paths; fewer, larger message files with
//          encoded headers, dozens to hundreds of recipients, nested alternatives and 3 to 16
//          base64 attachments each (with an attached message now and then)

#include "store/message_list.h"

#include <random>
#include <string>

namespace pelmora::bench {

constexpr int kStoreSets = 2;

// Writes `rows` rows of set `set` into `list` (inside BeginBulk/EndBulk).
void AppendIndexRows(TMessageList& list, int rows, int set);

// The message files of one set, in order: Next(n) gives the text of file `n` (CR LF lines)
// and whether it is stored unread (its file name begins with "_"). Every message has a
// Message-ID of its own. Call Next for n = 0, 1, 2, ... : each message continues the
// random sequence of the one before.
class TMailGenerator {
public:
    explicit TMailGenerator(int set);
    std::string Next(int n, bool& unread);

private:
    int Set;
    std::mt19937 Random;
};

// A small message for the operations on selected rows (the next of a sequence drawn from
// `random`); set 2's are longer, with long subjects and a dozen recipients.
std::string OperationMessageText(std::mt19937& random, int set);

} // namespace pelmora::bench
