#include "store/store_layout.h"

#include <filesystem>
#include <system_error>

namespace pelmora {

namespace {

constexpr int kFixedCodes[] = {kFolderInbox,  kFolderInReceipts, kFolderSent,  kFolderOutReceipts,
                               kFolderOutbox, kFolderTrash,      kFolderDrafts};

} // namespace

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
        std::error_code ec;
        std::filesystem::path dir = FolderPath(storeDir, project, code);
        std::filesystem::create_directories(dir, ec);
        if (!std::filesystem::is_directory(dir, ec))
            ok = false;
    }
    return ok;
}

} // namespace pelmora
