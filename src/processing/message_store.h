#pragma once
// Writing a processed message into the store so that it survives a crash: the file is
// written beside its final name, flushed to disk, renamed, and the directory entry flushed
// too. Only then may the message be deleted on the server or given an index row.

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmora {

class TMailMessage;

// True when the whole message is on disk under `path` (non-empty, flushed); `error`
// receives a reason otherwise. A failed write leaves no file under `path`.
bool SaveMessageDurably(const TMailMessage& message, const std::string& path,
                        std::string* error = nullptr);

// Writes a retrieved message exactly as the server sent it, with the header lines the program
// adds (each ending in CR LF) in front: the file, the same way flushed, is `addedHeaders`
// followed by `serverText` byte for byte. The file is readable by its owner only.
bool SaveReceivedMessageDurably(std::string_view addedHeaders, std::string_view serverText,
                                const std::string& path, std::string* error = nullptr);

// Flushes, in one go, everything written so far on the file system that holds `path`: the
// files of a batch of messages and their directory entries. Much cheaper than a flush per
// file when many small files were written. False when the flush failed (the caller then
// flushes file by file with SyncMessageFile).
bool FlushFileSystemOf(const std::string& path);

// Flushes one written message file and its directory; false when the file is missing, empty
// or could not be flushed.
bool SyncMessageFile(const std::string& path);

// The size of a file, or -1 when it cannot be read.
std::int64_t FileSizeOf(const std::string& path);

} // namespace pelmora
