// Reads arbitrary address headers: as sender values, as address lists, and through a
// message's recipient lists, which are then written back and read again.

#include "fuzz_check.h"
#include "mime/mail_message.h"
#include "mime/mail_recipients.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view value(reinterpret_cast<const char*>(data), size);
    (void)pelmora::ParseSenderValue(value);
    auto entries = pelmora::ParseAddressList(value);

    pelmora::TMailMessage message;
    message.HeaderLines.push_back("To: " + std::string(value));
    message.HeaderLines.push_back("Cc: " + std::string(value));
    (void)message.ToRecipients.NamesCommaText();
    (void)message.CcRecipients.AddressesCommaText();
    int count = message.ToRecipients.Count();
    FUZZ_CHECK(count >= 0);
    for (int i = 0; i < count; ++i)
        (void)message.ToRecipients.NameAt(i);
    message.ToRecipients.Add("Zoë Example", "zoe@example.org");
    FUZZ_CHECK(message.ToRecipients.Count() >= 1);
    (void)message.FullText();
    message.CcRecipients.Clear();
    FUZZ_CHECK(!message.HasHeader("Cc"));
    return 0;
}
