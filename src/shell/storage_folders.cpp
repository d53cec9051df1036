// "Define Mail Storage Folder" and "Define Temporary Storage Folder".
#include "shell/shell_state.h"

#include <algorithm>
#include <filesystem>

#include "shell/dialog_rules.h"

namespace pelmora {

namespace fs = std::filesystem;

namespace {

bool SameDirectory(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) {
        return true;
    }
    return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
}

// True when inner lies strictly inside outer.
bool StrictlyInside(const std::string& inner, const std::string& outer) {
    std::error_code error;
    const fs::path in = fs::weakly_canonical(inner, error);
    const fs::path out = fs::weakly_canonical(outer, error);
    const fs::path relative = in.lexically_relative(out);
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

// Moves one file or directory; across file systems by copying and then removing.
bool MoveEntry(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::rename(from, to, error);
    if (!error) {
        return true;
    }
    if (error != std::errc::cross_device_link) {
        return false;
    }
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        fs::remove_all(to, error);
        return false;
    }
    // The copy is complete; a leftover in the old place loses nothing.
    fs::remove_all(from, error);
    return true;
}

// An empty directory or empty file in the target may give way to a store entry of its name.
bool ClearWayFor(const fs::path& to) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(to, error);
    if (!fs::exists(status)) {
        return true;
    }
    if ((fs::is_directory(status) || fs::is_regular_file(status)) && fs::is_empty(to, error) &&
        !error) {
        return fs::remove(to, error);
    }
    return false;
}

} // namespace

std::optional<std::string> TShell::ChooseTargetFolder(TFolderKind kind) {
    const bool store = kind == TFolderKind::Store;
    const std::string& current = store ? Directories.Store : Directories.TempRoot;
    TPopupRequest warning;
    warning.Caption = Text(1, 262);
    warning.DisplayMs = 12000;
    warning.Modeless = false;
    for (;;) {
        const std::optional<std::string> answer = UiServices.ChooseFolder(Text(1, 251), current);
        if (!answer || TrimAnswer(*answer).empty()) {
            if (store) {
                TPopupRequest request;
                request.Caption = Text(1, 261);
                request.Text = Text(0, 2);
                request.DisplayMs = 8000;
                UiServices.ShowPopup(request);
            }
            return std::nullopt;
        }
        const std::string folder = WithSlash(TrimAnswer(*answer));
        std::error_code error;
        if (folder.front() != '/' || !fs::is_directory(folder, error) ||
            SameDirectory(folder, current)) {
            if (!store) {
                TPopupRequest request;
                request.Caption = Text(1, 261);
                request.Text = Text(0, 2);
                request.DisplayMs = 8000;
                UiServices.ShowPopup(request);
            }
            return std::nullopt;
        }
        // A folder inside the store cannot take the store's own contents.
        if (HoldsNonEmptyFile(folder) || (store && StrictlyInside(folder, current))) {
            warning.Text = Text(1, 35);
            UiServices.ShowPopup(warning);
            continue;
        }
        const std::optional<std::uint64_t> free = DiskSpace ? DiskSpace(folder) : std::nullopt;
        if (free && *free < kLowDiskBytes) {
            warning.Text = Text(1, store ? 37 : 36) + " (<20MB)";
            UiServices.ShowPopup(warning);
            continue;
        }
        return folder;
    }
}

bool TShell::MoveStoreTo(const std::string& target) {
    std::error_code error;
    std::vector<fs::path> entries;
    fs::directory_iterator it(Directories.Store, error);
    if (error) {
        // Nothing to move when the store is not there.
        return !fs::exists(Directories.Store, error);
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) {
            return false;
        }
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    std::vector<fs::path> moved;
    for (const fs::path& entry : entries) {
        const fs::path to = fs::path(target) / entry.filename();
        if (!ClearWayFor(to) || !MoveEntry(entry, to)) {
            // Put back what was moved so the store stays whole in its old place.
            for (const fs::path& done : moved) {
                MoveEntry(fs::path(target) / done.filename(), done);
            }
            return false;
        }
        moved.push_back(entry);
    }
    return true;
}

void TShell::MenuMailStorageFolderClick() {
    PlaySound(TSound::Attention);
    bool check = false;
    if (UiServices.AskDialog(Text(1, 262), Text(1, 32), 11, check, false) != kAskFirst) {
        return;
    }
    const std::optional<std::string> folder = ChooseTargetFolder(TFolderKind::Store);
    if (!folder) {
        return;
    }
    const auto fail = [this] {
        PlaySound(TSound::Popped);
        TPopupRequest request;
        request.Caption = Text(1, 262);
        request.Text = Text(0, 1) + "! " + Text(0, 2);
        request.DisplayMs = 8000;
        UiServices.ShowPopup(request);
    };
    check = false;
    const bool move =
        UiServices.AskDialog(Text(1, 262), Text(1, 33), 11, check, false) == kAskFirst;
    if (move && !MoveStoreTo(*folder)) {
        fail();
        return;
    }
    if (!RegistryFile.SetMailStore(*folder)) {
        // The next start would look in the old place: undo the move.
        if (move) {
            const std::string oldStore = Directories.Store;
            Directories.Store = *folder;
            MoveStoreTo(oldStore);
            Directories.Store = oldStore;
        }
        fail();
        return;
    }
    Directories.Store = *folder;
    PlaySound(TSound::Attention);
    TPopupRequest request;
    request.Caption = Text(1, 261);
    request.Text = Text(1, 34);
    request.DisplayMs = 12000;
    request.Modeless = false;
    UiServices.ShowPopup(request);
}

void TShell::MenuTempStorageFolderClick() {
    const std::optional<std::string> folder = ChooseTargetFolder(TFolderKind::Temp);
    if (!folder) {
        return;
    }
    if (!RegistryFile.SetTempDir(*folder)) {
        PlaySound(TSound::Popped);
        TPopupRequest request;
        request.Caption = Text(1, 262);
        request.Text = Text(0, 1) + "! " + Text(0, 2);
        request.DisplayMs = 8000;
        UiServices.ShowPopup(request);
        return;
    }
    TDirectories moved = Directories;
    moved.TempRoot = WithSlash(*folder);
    if (EnsurePrivateTempDirectory(moved)) {
        Directories.TempRoot = moved.TempRoot;
        Directories.Temp = moved.Temp;
    }
}

} // namespace pelmora
