#pragma once
// Writing a processed message into the store so that it survives a crash: the file is
// written beside its final name, flushed to disk, renamed, and the directory entry flushed
// too. Only then may the message be deleted on the server or given an index row.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Writes `message` as `path` (which must not exist yet) by rewriting `spare`, a file of ours
// that is no longer needed, and renaming it into place: the bytes SaveMessageFile writes,
// without creating a file. Creating a file just after many were removed costs the file system
// a search past each of them; a rewritten file costs none. False, with nothing new under
// `path`, when `spare` is not a plain file of ours with no other name, or cannot be written or
// renamed; `spare` may then still exist. Not flushed: FlushWrittenFiles does that.
bool SaveMessageOverSpare(const TMailMessage& message, const std::string& spare,
                          const std::string& path);

// Flushes a batch of written message files and their directories, whichever way costs less
// right now: while the file system holds little else unwritten, one flush of the whole file
// system; while other programs have much unwritten data there (a flush of everything would
// wait for all of it), each of these files by itself, several at a time. result[i] tells
// whether paths[i] is a non-empty regular file that is on disk.
std::vector<bool> FlushWrittenFiles(const std::vector<std::string>& paths);

// The file-by-file way of FlushWrittenFiles: never waits for other programs' writes.
std::vector<bool> FlushEachFile(const std::vector<std::string>& paths);

// Removes files, several at a time: on file systems that tell the disk about every freed
// block, each removal waits for the disk. Missing files are no error; returns how many files
// could not be removed.
int RemoveFiles(const std::vector<std::string>& paths);
// The same, telling for each file whether it was removed (a missing one was not).
std::vector<bool> RemoveEach(const std::vector<std::string>& paths);

// The size of a file, or -1 when it cannot be read.
std::int64_t FileSizeOf(const std::string& path);

} // namespace pelmora
