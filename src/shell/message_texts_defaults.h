#pragma once
// The literal built-in texts of the text modules (composed slots are built in
// message_texts.cpp from these and other slots).

#include <span>
#include <string_view>

namespace pelmora {

struct TDefaultText {
    int Slot;
    std::string_view Text;
};

// The literal defaults of a module, in slot order; empty for an unknown module.
std::span<const TDefaultText> DefaultTexts(int module);

} // namespace pelmora
