#include "processing/message_store.h"

#include "mime/mail_message.h"
#include "shell/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace pelmora {
namespace {

bool SyncPath(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

// Flushes the directory entry of a file: a rename or creation is only durable with it. A
// failure here is not worth losing the message over; the file itself is complete.
void SyncDirectoryOf(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    SyncPath(dir.empty() ? std::string(".") : dir.string(), O_RDONLY | O_DIRECTORY);
}

} // namespace

std::int64_t FileSizeOf(const std::string& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

bool FlushFileSystemOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

bool SyncMessageFile(const std::string& path) {
    if (FileSizeOf(path) <= 0 || !SyncPath(path, O_RDONLY))
        return false;
    SyncDirectoryOf(path);
    return true;
}

bool SaveMessageDurably(const TMailMessage& message, const std::string& path, std::string* error) {
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return false;
    };
    TMimeStatus status = message.SaveMessageFile(path);
    if (!status)
        return fail(status.Error);
    if (!SyncPath(path, O_RDONLY))
        return fail("Cannot flush message file " + path + ": " + std::strerror(errno));
    if (FileSizeOf(path) <= 0)
        return fail("Message file " + path + " is empty");
    SyncDirectoryOf(path);
    return true;
}

bool SaveReceivedMessageDurably(std::string_view addedHeaders, std::string_view serverText,
                                const std::string& path, std::string* error) {
    std::string reason;
    if (!WriteFileAtomically(path, {addedHeaders, serverText}, kPrivateFileMode, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    if (FileSizeOf(path) <= 0) {
        if (error)
            *error = "Message file " + path + " is empty";
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return false;
    }
    SyncDirectoryOf(path);
    return true;
}

} // namespace pelmora
