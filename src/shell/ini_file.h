#pragma once
// An INI file of sections and "key=value" lines, read leniently: lines that are neither a
// section heading nor a key with "=" are skipped, so a corrupt or truncated file still yields
// every key that can be read and defaults for the rest. Section and key names match without
// regard to letter case. Changes are kept as a list of edits; Save() re-reads the file, applies
// the edits and replaces the file atomically (temporary file in the same directory + rename),
// so two objects over the same file do not undo each other's keys.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TIniFile {
public:
    // Reads the file at once; a missing or unreadable file reads as empty.
    explicit TIniFile(std::string path);

    const std::string& Path() const { return FilePath; }
    // Re-reads the file, dropping unsaved edits; false when it cannot be read.
    bool Reload();

    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // A value that is not a whole decimal number (surrounding blanks allowed) gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // "1"/"0" and "true"/"false"; a number other than 0 counts as true; anything else gives
    // the default.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    bool SectionExists(std::string_view section) const;
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

    // Values must not contain line breaks; a line break is replaced by a blank.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    // Written as 1 or 0.
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void EraseKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);

    bool Modified() const { return !Edits.empty(); }
    // Writes the file when edits are pending (true when there are none). False when the
    // file cannot be written; the old file is then left as it was and the edits are kept.
    bool Save();

private:
    struct TEntry {
        std::string Key;
        std::string Value;
    };
    struct TSection {
        std::string Name;
        std::vector<TEntry> Entries;
    };
    enum class TEditKind { Write, EraseKey, EraseSection };
    struct TEdit {
        TEditKind Kind;
        std::string Section;
        std::string Key;
        std::string Value;
    };

    static std::vector<TSection> Parse(std::string_view text);
    static std::string Serialise(const std::vector<TSection>& sections);
    static void Apply(std::vector<TSection>& sections, const TEdit& edit);
    static bool ReadFile(const std::string& path, std::string& text);

    std::string FilePath;
    std::vector<TSection> Content;
    std::vector<TEdit> Edits;
};

} // namespace pelmora
