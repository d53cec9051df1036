#pragma once
// Inputs and the measured unit of work shared by the mail format benchmark programs.

#include "mime/mail_message.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace pelmora::bench {

// Whole file as bytes; false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out);

// The regular files of a directory, sorted by name.
std::vector<std::filesystem::path> ListFiles(const std::filesystem::path& directory);

struct TWorkTotals {
    std::size_t Parts = 0;
    std::size_t DecodedBytes = 0;
    std::size_t Attachments = 0;
};

// What a mail client does to show a message: parse it, classify its parts and decode the
// body of every part of the tree, one part after another into one reused buffer.
void ParseMapDecode(const std::string& text, TWorkTotals& totals);

// The same, reading the message the way the store does (LoadMessageFile).
bool LoadMapDecode(const std::filesystem::path& path, TWorkTotals& totals);

// The recipient loop of a folder listing: the To recipients of a read message joined with
// "; " as "name (address)" into recipients, by the call the listing makes. The first call
// reads the header. Returns the number of recipients.
std::size_t RecipientLoop(const TMailMessage& message, std::string_view& recipients);

// What a folder listing does with one message: parse it, classify its parts, read the row's
// fields and join the To recipients with "; " (the recipient loop). Returns the number of
// recipients; the row's length goes to rowBytes.
std::size_t ListMessage(const std::string& text, std::size_t& rowBytes);

} // namespace pelmora::bench
