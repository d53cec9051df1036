#include "bench_inputs.h"

#include "mime/mail_message.h"

#include <algorithm>
#include <fstream>

namespace pelmora::bench {

bool ReadWholeFile(const std::filesystem::path& path, std::string& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    file.seekg(0, std::ios::end);
    std::streamoff size = file.tellg();
    if (size < 0)
        return false;
    file.seekg(0, std::ios::beg);
    out.resize(static_cast<std::size_t>(size));
    file.read(out.data(), size);
    return static_cast<bool>(file);
}

std::vector<std::filesystem::path> ListFiles(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

namespace {

// Each body is decoded once, into one buffer that the next part reuses, as a program that
// saves or scans the attachments one after another does: the decoded bytes of all parts are
// never held at once. The texts MapParts decoded for showing stay with their parts.
void DecodeTree(const TMailPart& part, std::string& scratch, TWorkTotals& totals) {
    ++totals.Parts;
    totals.DecodedBytes += part.DecodedView(scratch).size();
    for (const auto& child : part.SubParts)
        DecodeTree(*child, scratch, totals);
}

void MapAndDecode(TMailMessage& message, TWorkTotals& totals) {
    message.MapParts();
    totals.Attachments += message.Attachments.size();
    std::string scratch;
    DecodeTree(message, scratch, totals);
}

} // namespace

void ParseMapDecode(const std::string& text, TWorkTotals& totals) {
    TMailMessage message;
    message.ParseText(text, true);
    MapAndDecode(message, totals);
}

bool LoadMapDecode(const std::filesystem::path& path, TWorkTotals& totals) {
    TMailMessage message;
    if (!message.LoadMessageFile(path.string()))
        return false;
    MapAndDecode(message, totals);
    return true;
}

std::size_t RecipientLoop(const TMailMessage& message, std::string_view& recipients) {
    // The folder listing's own code path (AppendRowFromFile), which copies the text into the
    // row as it copies the subject.
    recipients = message.ToRecipients.ListingView();
    return static_cast<std::size_t>(message.ToRecipients.Count());
}

std::size_t ListMessage(const std::string& text, std::size_t& rowBytes) {
    TMailMessage message;
    message.ParseText(text, true);
    message.MapParts();
    bool attachment = false;
    for (const TMailPart* part : message.Attachments)
        attachment = attachment || !part->IsEmbedded;
    std::string_view recipients;
    const std::size_t count = RecipientLoop(message, recipients);
    const TMailAddress from = message.GetSender();
    rowBytes = recipients.size() + message.GetSubject().size() + from.Name.size() +
               from.Address.size() + message.GetMessageId().size() +
               static_cast<std::size_t>(message.GetPriority() + attachment) +
               (message.GetDate() > 0 ? 1 : 0);
    return count;
}

} // namespace pelmora::bench
