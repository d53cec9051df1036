#include "store/store_layout.h"

#include "shell/atomic_file.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <system_error>

namespace pelmora {

namespace {

constexpr int kFixedCodes[] = {kFolderInbox,  kFolderInReceipts, kFolderSent,  kFolderOutReceipts,
                               kFolderOutbox, kFolderTrash,      kFolderDrafts};

// The path with every symbolic link resolved; empty when it does not exist.
std::string ResolvedPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

} // namespace

bool IsFileInFolder(const std::string& path, const std::string& folder, bool nested) {
    if (path.empty() || folder.empty())
        return false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size())
        return false;
    const std::string dir = ResolvedPath(slash == 0 ? std::string("/") : path.substr(0, slash));
    const std::string home = ResolvedPath(folder);
    if (dir.empty() || home.empty())
        return false;
    if (dir == home)
        return true;
    if (!nested)
        return false;
    const std::string prefix = home.back() == '/' ? home : home + "/";
    return dir.compare(0, prefix.size(), prefix) == 0;
}

bool FolderShowsRecipients(int code) {
    return code == kFolderSent || code == kFolderOutbox || code == kFolderDrafts;
}

bool IsFixedFolderCode(int code) {
    return code >= kFolderInbox && code <= kFolderDrafts;
}

bool IsCustomFolderCode(int code) {
    return code >= kFirstCustomFolder && code <= kLastCustomFolder;
}

std::string_view FolderDirectoryName(int code) {
    switch (code) {
    case kFolderInbox:
        return "inbox";
    case kFolderInReceipts:
        return "inreceipts";
    case kFolderSent:
        return "sent";
    case kFolderOutReceipts:
        return "outreceipts";
    case kFolderOutbox:
        return "outbox";
    case kFolderTrash:
        return "trash";
    case kFolderDrafts:
        return "drafts";
    default:
        return {};
    }
}

std::string ProjectDirectory(const std::string& storeDir, int project) {
    return storeDir + std::to_string(project) + "/";
}

std::string FolderPath(const std::string& storeDir, int project, int code) {
    if (IsCustomFolderCode(code))
        return ProjectDirectory(storeDir, project) + "inbox/" + std::to_string(code) + "/";
    std::string_view name = FolderDirectoryName(code);
    if (name.empty())
        return {};
    return ProjectDirectory(storeDir, project) + std::string(name) + "/";
}

bool EnsureProjectDirectories(const std::string& storeDir, int project) {
    bool ok = true;
    for (int code : kFixedCodes) {
        if (!CreatePrivateDirectories(FolderPath(storeDir, project, code)))
            ok = false;
    }
    return ok;
}

} // namespace pelmora
