#pragma once
// The texts and key rules of the program's own dialogs (pop-up, message dialog, query
// dialog), so every window shows them the same way. Texts come from the texts table.

#include <string>
#include <string_view>

#include "shell/message_texts.h"

namespace pelmora {

constexpr std::string_view kPelmoraVersion = "3.0.5";

// "Pelmora v.3.0.5: " + caption.
std::string PopupTitle(std::string_view caption);
// Text 1/88 ("Edit HTML") + ": " + caption.
std::string EditPopupTitle(const TMessageTexts& texts, std::string_view caption);
// "Pelmora - " + caption.
std::string AskDialogTitle(std::string_view caption);
// The prompt with ":" appended, unless it already ends in one.
std::string QueryPromptLabel(std::string_view prompt);
// Blanks, tabs and line breaks cut from both ends.
std::string TrimAnswer(std::string_view answer);

// A file-dialog filter as the program writes it ("Description|*.a;*.b|Other|*.c", pairs of a
// description and ";"-separated patterns) in the form the file dialog reads: entries
// "Description (*.a *.b)" joined by ";;". A pattern list the description already shows in
// brackets is replaced by the real one. A filter without "|" is returned as it is; a
// description without patterns is dropped.
std::string FileDialogFilter(std::string_view filter);

// The accelerator letter of a button caption, lower-cased: the letter after "&", else the
// caption's first letter; 0 when there is none.
char AcceleratorLetter(std::string_view caption);
// The message dialog's answer to a key press: kAskFirst or kAskSecond when the key is the
// accelerator letter of text 3/33 ("Yes") or 3/34 ("No") and the two letters differ; 0 when
// the key presses no button.
int AskDialogKey(const TMessageTexts& texts, char key);

} // namespace pelmora
