#include "mime/mail_ids.h"

#include "mime/mail_date.h"
#include "mime/mime_text.h"

#include <mutex>
#include <random>

namespace pelmora {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

std::string Hex(std::uint32_t value, bool padded) {
    std::string out;
    for (int shift = 28; shift >= 0; shift -= 4) {
        char digit = HexDigits[(value >> shift) & 15];
        if (!padded && out.empty() && digit == '0' && shift > 0) continue;
        out += digit;
    }
    return out;
}

} // namespace

std::uint32_t MailRandom32() {
    static std::mutex guard;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard lock(guard);
    return static_cast<std::uint32_t>(generator());
}

std::string NewBoundary() { return Concat({"boundary", Hex(MailRandom32(), true)}); }

std::string MakeMessageId(std::string_view domain) {
    std::string id = Concat({"<", LocalStamp14(NowLocal()), "."});
    id += Hex(MailRandom32(), false);
    id += '.';
    id += Hex(MailRandom32(), false);
    id += '@';
    id += domain;
    id += '>';
    return id;
}

} // namespace pelmora
