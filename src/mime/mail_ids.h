#pragma once
// Generated identifiers: multipart boundaries and Message-IDs. One 32-bit pseudo-random
// generator, seeded once, feeds both.

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmora {

std::uint32_t MailRandom32();

// "boundary" followed by 8 upper-case hexadecimal digits.
std::string NewBoundary();

// "<yyyymmddhhnnss.HEX.HEX@domain>" from the current local time and two random numbers.
std::string MakeMessageId(std::string_view domain);

} // namespace pelmora
