#include "mime/mime_types.h"

#include "mime/mime_text.h"

#include <fstream>
#include <sstream>

namespace pelmora {
namespace {

constexpr std::string_view DefaultContentType = "application/octet-stream";
constexpr std::size_t MaxFileNameLength = 254;

// The extension with its dot, of the last path element; empty when there is none.
std::string_view FileExtension(std::string_view fileName) {
    std::size_t slash = fileName.find_last_of("/\\");
    std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    std::size_t dot = base.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : base.substr(dot);
}

} // namespace

bool TMimeTypeTable::LoadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream text;
    text << file.rdbuf();
    LoadText(text.str());
    return true;
}

void TMimeTypeTable::LoadText(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        std::string type;
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && static_cast<unsigned char>(line[i]) <= ' ') ++i;
            std::size_t wordStart = i;
            while (i < line.size() && static_cast<unsigned char>(line[i]) > ' ') ++i;
            if (i == wordStart) break;
            std::string word = LowerAsciiCopy(line.substr(wordStart, i - wordStart));
            if (type.empty()) {
                type = word;
                continue;
            }
            std::string extension = "." + word;
            TypeByExtension_.emplace(extension, type);
            ExtensionByType_.emplace(type, extension);
        }
    }
}

std::string TMimeTypeTable::TypeForExtension(std::string_view extension) const {
    auto found = TypeByExtension_.find(LowerAsciiCopy(extension));
    return found == TypeByExtension_.end() ? std::string() : found->second;
}

std::string TMimeTypeTable::ExtensionForType(std::string_view type) const {
    auto found = ExtensionByType_.find(LowerAsciiCopy(TrimMail(type)));
    return found == ExtensionByType_.end() ? std::string() : found->second;
}

const TMimeTypeTable& SystemMimeTypes() {
    static const TMimeTypeTable table = [] {
        TMimeTypeTable loaded;
        loaded.LoadFile("/etc/mime.types");
        return loaded;
    }();
    return table;
}

std::string MimeTypeForFile(std::string_view fileName) {
    std::string_view extension = FileExtension(fileName);
    std::string type = extension.empty() ? std::string() : SystemMimeTypes().TypeForExtension(extension);
    return type.empty() ? std::string(DefaultContentType) : type;
}

std::string ExtensionForMimeType(std::string_view contentType) {
    return SystemMimeTypes().ExtensionForType(contentType);
}

std::string SanitizeFileName(std::string_view text) {
    std::string_view trimmed = TrimMail(text);
    std::string name;
    if (trimmed.size() <= MaxFileNameLength) {
        name.assign(trimmed);
    } else {
        // Too long for a file system: the stem is cut, the extension stays (a short one), and
        // no UTF-8 character is split.
        std::size_t dot = trimmed.rfind('.');
        std::string_view extension;
        if (dot != std::string_view::npos && trimmed.size() - dot <= 16) extension = trimmed.substr(dot);
        std::size_t keep = MaxFileNameLength - extension.size();
        while (keep > 0 && (static_cast<unsigned char>(trimmed[keep]) & 0xC0) == 0x80) --keep;
        name.assign(trimmed.substr(0, keep));
        name.append(extension);
    }
    for (char& c : name) {
        if (static_cast<unsigned char>(c) <= 31) {
            c = '_';
            continue;
        }
        switch (c) {
        case ':': case '\\': case '/': case '*': case '?': case '"': case '<': case '>':
        case '|': case '\'':
            c = '_';
            break;
        default:
            break;
        }
    }
    // "." and ".." name directories, never a file to write.
    if (!name.empty() && name.find_first_not_of('.') == std::string::npos) name.assign(name.size(), '_');
    return name;
}

} // namespace pelmora
