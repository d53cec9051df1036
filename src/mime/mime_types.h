#pragma once
// Content types by file extension and back, from a mime.types style table
// ("type ext ext ..." lines, "#" comments). The system table is /etc/mime.types.

#include <map>
#include <string>
#include <string_view>

namespace pelmora {

class TMimeTypeTable {
public:
    // Reads a table file; false when it cannot be read (the table then stays as it was).
    bool LoadFile(const std::string& path);
    void LoadText(std::string_view text);

    // Content type for an extension with its dot (".gif"), case-insensitive; empty when none.
    std::string TypeForExtension(std::string_view extension) const;
    // First extension listed for a type, with its dot; empty when none.
    std::string ExtensionForType(std::string_view type) const;

private:
    std::map<std::string, std::string> TypeByExtension_;
    std::map<std::string, std::string> ExtensionByType_;
};

// The table used by the library; loaded from /etc/mime.types on first use.
const TMimeTypeTable& SystemMimeTypes();

// Content type of a file name by its extension; "application/octet-stream" when unknown.
std::string MimeTypeForFile(std::string_view fileName);

// Extension (with its dot) for a content type; empty when unknown.
std::string ExtensionForMimeType(std::string_view contentType);

// Trims, cuts to 254 characters and replaces control characters and :\/*?"<>|' with "_";
// a name made only of dots becomes underscores.
std::string SanitizeFileName(std::string_view text);

} // namespace pelmora
