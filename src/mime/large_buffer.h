#pragma once
// Room for large texts (a message file read whole, an attachment decoded whole) asked of the
// system in large pages where it offers them, so that filling tens of megabytes costs a few
// hundred page faults instead of tens of thousands. Nothing changes for small texts or where
// the system says no.

#include <string>

namespace pelmora {

// Reserves room for at least size bytes in text and asks for large pages for it.
void ReserveLarge(std::string& text, std::size_t size);

} // namespace pelmora
