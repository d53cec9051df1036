#pragma once
// Whole-file reads and crash-safe writes. A write goes to a temporary file in the target's
// directory, is flushed to disk and renamed over the target, so a crash leaves either the
// old file or the new one. Files of the data home hold mail, addresses or passwords: they
// are created with mode 0600 and directories with 0700, whatever the umask.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

constexpr unsigned kPublicFileMode = 0644;
constexpr unsigned kPrivateFileMode = 0600;

// Writes `data` to `path` atomically; `error` receives a reason on failure.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         unsigned mode = kPrivateFileMode, std::string* error = nullptr);
// The same for a file made of several pieces written one after the other, so that large
// texts need not be joined in memory first.
bool WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> pieces,
                         unsigned mode = kPrivateFileMode, std::string* error = nullptr);

// Appends `data` to `path` (created with kPrivateFileMode when missing), flushing it to disk
// when `sync` is set. A file that does not end in a line break gets CR LF first when
// `startLine` is set, so what is appended starts a line of its own.
bool AppendToFile(const std::string& path, std::string_view data, bool sync,
                  bool startLine = false);

// Reads a whole file; std::nullopt when it cannot be opened or read, or is larger than
// `maxBytes`. `error` receives a reason on failure.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error = nullptr,
                                         size_t maxBytes = 256u * 1024u * 1024u);

// Creates `path` afresh (never through a link, never over an existing file) with mode 0600
// and writes `bytes` whole; false on any error, leaving no file behind.
bool WriteNewPrivateFile(const std::string& path, std::string_view bytes);

// Creates a directory and its missing parents with mode 0700 (existing ones are left as they
// are); true when `dir` is a directory afterwards.
bool CreatePrivateDirectories(const std::string& dir);

// Copies a file through WriteFileAtomically, giving the copy `mode`.
bool CopyFileAtomically(const std::string& source, const std::string& target, unsigned mode,
                        std::string* error = nullptr);

} // namespace pelmora
