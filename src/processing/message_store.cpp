#include "processing/message_store.h"

#include "mime/mail_message.h"
#include "shell/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
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

// Runs job(i) for every i below count on up to kMaxWorkers threads (the calling one among
// them). Flushes and removals mostly wait for the disk, and a disk takes several requests at
// once far faster than one after the other.
constexpr std::size_t kMaxWorkers = 8;
constexpr std::size_t kItemsPerWorker = 4;

template <typename Job> void ForEachAtOnce(std::size_t count, const Job& job) {
    const std::size_t workers = std::min(kMaxWorkers, (count + kItemsPerWorker - 1) / kItemsPerWorker);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;)
            job(i);
    };
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < workers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // no more threads: the ones there are do the rest
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
}

// How much other programs may have waiting to be written before a flush of the whole file
// system costs more than flushing a batch file by file. A flush of one file writes its inode
// and its directory by themselves and costs about a millisecond, so a batch of a hundred
// costs what writing some hundred megabytes of others' data does.
constexpr std::uint64_t kForeignUnwrittenLimit = 128u << 20;

// The system's data waiting to be written or being written ("Dirty" and "Writeback" of
// /proc/meminfo), in bytes; none when it cannot be read.
std::optional<std::uint64_t> UnwrittenBytes() {
    const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buffer[8192];
    std::size_t size = 0;
    for (ssize_t n; size < sizeof buffer && (n = ::read(fd, buffer + size, sizeof buffer - size)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    const std::string_view text(buffer, size);
    std::uint64_t total = 0;
    int found = 0;
    for (std::string_view key : {"\nDirty:", "\nWriteback:"}) {
        const std::size_t at = text.find(key);
        if (at == std::string_view::npos)
            return std::nullopt;
        std::size_t digits = at + key.size();
        while (digits < text.size() && text[digits] == ' ')
            ++digits;
        std::uint64_t kilobytes = 0;
        const auto [end, error] =
            std::from_chars(text.data() + digits, text.data() + text.size(), kilobytes);
        if (error != std::errc())
            return std::nullopt;
        total += kilobytes * 1024;
        ++found;
    }
    return found == 2 ? std::optional<std::uint64_t>(total) : std::nullopt;
}

} // namespace

std::int64_t FileSizeOf(const std::string& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

bool SaveMessageOverSpare(const TMailMessage& message, const std::string& spare,
                          const std::string& path) {
    const int fd = ::open(spare.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    static const uid_t self = ::geteuid();
    // A file with another name (a hard link) or someone else's is never written over.
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
              info.st_uid == self &&
              ((info.st_mode & 07777) == kPrivateFileMode || ::fchmod(fd, kPrivateFileMode) == 0);
    if (ok) {
        // The bytes a new message file gets, then the rest of the old text cut off.
        std::size_t written = 0;
        ok = message.WriteMessageFile(fd, &written) == 0;
        ok = ok && (info.st_size <= static_cast<off_t>(written) ||
                    ::ftruncate(fd, static_cast<off_t>(written)) == 0);
    }
    ok = ::close(fd) == 0 && ok;
    // Never over a file that came meanwhile.
    return ok && ::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
}

std::vector<bool> FlushEachFile(const std::vector<std::string>& paths) {
    // Every file's writing is started first, so that the disk gets them all at once; then
    // each is flushed.
    std::vector<int> descriptors(paths.size(), -1);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        struct stat info {};
        if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)) {
            ::close(fd);
            continue;
        }
        descriptors[i] = fd;
        if (fd >= 0)
            (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    std::vector<char> flushed(paths.size(), 0);
    ForEachAtOnce(paths.size(), [&](std::size_t i) {
        if (descriptors[i] < 0)
            return;
        const bool ok = ::fsync(descriptors[i]) == 0;
        flushed[i] = ::close(descriptors[i]) == 0 && ok;
    });
    std::set<std::string> folders;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (flushed[i])
            folders.insert(std::filesystem::path(paths[i]).parent_path().string());
    }
    for (const std::string& folder : folders)
        SyncPath(folder.empty() ? std::string(".") : folder, O_RDONLY | O_DIRECTORY);
    return std::vector<bool>(flushed.begin(), flushed.end());
}

std::vector<bool> FlushWrittenFiles(const std::vector<std::string>& paths) {
    if (paths.empty())
        return {};
    std::vector<bool> present(paths.size(), false);
    std::uint64_t ours = 0;
    std::size_t first = paths.size();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        struct stat info {};
        if (::stat(paths[i].c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            present[i] = true;
            ours += static_cast<std::uint64_t>(info.st_size);
            first = std::min(first, i);
        }
    }
    if (first == paths.size())
        return present; // nothing to flush
    const std::optional<std::uint64_t> unwritten = UnwrittenBytes();
    if (!unwritten || *unwritten > ours + kForeignUnwrittenLimit)
        return FlushEachFile(paths);
    const int fd = ::open(paths[first].c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        return FlushEachFile(paths);
    return present;
}

int RemoveFiles(const std::vector<std::string>& paths) {
    std::atomic<int> failed{0};
    ForEachAtOnce(paths.size(), [&](std::size_t i) {
        if (::unlink(paths[i].c_str()) != 0 && errno != ENOENT)
            ++failed;
    });
    return failed.load();
}

std::vector<bool> RemoveEach(const std::vector<std::string>& paths) {
    std::vector<char> removed(paths.size(), 0);
    ForEachAtOnce(paths.size(), [&](std::size_t i) { removed[i] = ::unlink(paths[i].c_str()) == 0; });
    return std::vector<bool>(removed.begin(), removed.end());
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
