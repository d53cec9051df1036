// Reads arbitrary text as a message the way the client shows one (parse, classify, decode
// every part), then rewrites it in the canonical shape and reads the result again.

#include "mime/mail_message.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void DecodeTree(pelmora::TMailPart& part) {
    part.DecodeBody();
    (void)part.AttachmentFileName();
    for (auto& child : part.SubParts)
        DecodeTree(*child);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    pelmora::TMailMessage message;
    message.ParseText(text, true);
    message.MapParts();
    DecodeTree(message);
    (void)message.GetSender();
    (void)message.GetSubject();
    (void)message.GetDate();
    (void)message.ToRecipients.Count();

    message.Restructure(pelmora::RestructureMode::Always);
    message.BuildBody();
    std::string rebuilt = message.FullText();

    pelmora::TMailMessage again;
    again.ParseText(rebuilt, true);
    again.MapParts();
    DecodeTree(again);
    return 0;
}
