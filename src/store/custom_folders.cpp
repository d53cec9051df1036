#include "store/custom_folders.h"

#include "shell/atomic_file.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace pelmora {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxLabel = 255;

std::optional<int> CustomCode(const std::string& name) {
    int code = 0;
    auto [ptr, ec] = std::from_chars(name.data(), name.data() + name.size(), code);
    if (ec != std::errc() || ptr != name.data() + name.size() || name.empty() || name[0] == '+')
        return std::nullopt;
    if (!IsCustomFolderCode(code) || std::to_string(code) != name)
        return std::nullopt;
    return code;
}

} // namespace

std::vector<int> CustomFolderCodesOnDisk(const std::string& storeDir, int project) {
    std::vector<int> codes;
    std::error_code ec;
    for (fs::directory_iterator it(FolderPath(storeDir, project, kFolderInbox), ec), end;
         !ec && it != end; it.increment(ec)) {
        if (const std::optional<int> code = CustomCode(it->path().filename().string()))
            codes.push_back(*code);
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

TCustomFolder* TCustomFolderTable::At(int code) {
    return IsCustomFolderCode(code) ? &Folders[static_cast<size_t>(code - kFirstCustomFolder)]
                                    : nullptr;
}

const TCustomFolder* TCustomFolderTable::At(int code) const {
    return IsCustomFolderCode(code) ? &Folders[static_cast<size_t>(code - kFirstCustomFolder)]
                                    : nullptr;
}

std::optional<std::string> ReadFolderLabel(const std::string& folderPath) {
    auto data = ReadWholeFile(folderPath + "label.txt", nullptr, 1024 * 1024);
    if (!data)
        return std::nullopt;
    std::string line = data->substr(0, data->find_first_of("\r\n"));
    if (line.size() > kMaxLabel)
        line.resize(kMaxLabel);
    return line;
}

bool WriteFolderLabel(const std::string& folderPath, const std::string& name) {
    std::string line = name.substr(0, std::min(name.size(), kMaxLabel));
    // A name is one line: breaks would make the rest of it a second line nobody reads.
    for (char& c : line) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return WriteFileAtomically(folderPath + "label.txt", line + "\r\n");
}

TCustomFolderTable ScanCustomFolders(const std::string& storeDir, int project,
                                     const std::string& notSetName) {
    TCustomFolderTable table;
    std::error_code ec;
    const std::string inbox = FolderPath(storeDir, project, kFolderInbox);
    fs::directory_iterator it(inbox, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError))
            continue;
        auto code = CustomCode(it->path().filename().string());
        if (!code)
            continue;
        TCustomFolder* folder = table.At(*code);
        const std::string path = inbox + std::to_string(*code) + "/";
        auto label = ReadFolderLabel(path);
        folder->Name = label && !label->empty() ? *label : notSetName;
        folder->Stale = fs::exists(path + "update.txt", typeError);
    }
    for (int code = kFirstCustomFolder; code <= kLastCustomFolder; ++code) {
        if (table.At(code)->Name.empty()) {
            table.FirstFree = code;
            break;
        }
    }
    return table;
}

bool MarkFolderStale(const std::string& storeDir, int project, int code,
                     TCustomFolderTable& table) {
    TCustomFolder* folder = table.At(code);
    if (!folder)
        return false;
    folder->Stale = true;
    return WriteFileAtomically(FolderPath(storeDir, project, code) + "update.txt",
                               std::string(kStaleMarkerText) + "\r\n");
}

bool ClearFolderStale(const std::string& storeDir, int project, int code,
                      TCustomFolderTable& table) {
    TCustomFolder* folder = table.At(code);
    if (!folder)
        return false;
    folder->Stale = false;
    std::error_code ec;
    fs::remove(FolderPath(storeDir, project, code) + "update.txt", ec);
    return !ec;
}

} // namespace pelmora
