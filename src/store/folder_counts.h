#pragma once
// Folder counts in tree captions: "... </font> (total/unread)" after every folder, project and
// account caption, and the icons that go with them. TFolderView::UpdateFolderCaption and
// TFolderView::RefreshCounts (folder_listing.h) use these helpers.

#include <array>
#include <string>
#include <string_view>

namespace pelmora {

// The icons of a folder: empty, messages none unread, unread messages.
std::array<int, 3> FolderIcons(int code);
constexpr std::array<int, 3> kProjectIcons = {3, 4, 5};
constexpr std::array<int, 3> kAccountIcons = {0, 1, 2};
constexpr std::string_view kOutboxMarker = "<img src=\"idx:7\">";

struct TCaptionCounts {
    int Total = -1; // -1 when not a number
    int Unread = -1;
};
// The counts after the first "</font> (" (any case): total up to "/", unread up to ")".
TCaptionCounts ParseCaptionCounts(std::string_view text);
// The text before its first "</font>" (trimmed) + "</font> (" + total + "/" + unread + ")".
std::string FolderCaptionWithCounts(std::string_view text, int total, int unread);
// The icon a caption shows for its counts.
int CountsIcon(const std::array<int, 3>& icons, int total, int unread);

} // namespace pelmora
