#include "store/message_files.h"

#include "paramtree/text_util.h"

#include <cerrno>
#include <dirent.h>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

int MessageStateFromName(std::string_view fileName) {
    if (!fileName.empty() && fileName[0] == '_')
        return kStateUnread;
    std::string lower = LowerAscii(fileName);
    if (lower.find(".emlc") != std::string::npos)
        return kStateCheck;
    if (lower.find(".emlf") != std::string::npos)
        return kStateFlag;
    if (lower.find(".emlo") != std::string::npos)
        return kStateOrphan;
    return kStateRead;
}

std::optional<std::string> MessageNameForState(std::string_view fileName, int state) {
    size_t ext = FindNoCase(fileName, ".eml");
    if (ext == std::string_view::npos)
        return std::nullopt;
    std::string stem(fileName.substr(0, ext));
    if (!stem.empty() && stem[0] == '_')
        stem.erase(0, 1);
    switch (state) {
    case kStateRead:
        return stem + ".eml";
    case kStateCheck:
        return stem + ".emlc";
    case kStateFlag:
        return stem + ".emlf";
    case kStateOrphan:
        return stem + ".emlo";
    case kStateUnread:
        return "_" + stem + ".eml";
    default:
        return std::nullopt;
    }
}

bool MatchFileMask(std::string_view name, std::string_view mask) {
    // Iterative wildcard match with backtracking to the last "*".
    size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && (mask[m] == '*' || mask[m] == '?'))
        ++m;
    return m == mask.size();
}

bool IsMessageFileName(std::string_view fileName) {
    return MatchFileMask(fileName, "*.eml?");
}

namespace {

// Counts the message files of a folder as CountMessageFiles does; with firstOnly, stops at the
// first one.
TMessageCounts CountFiles(const std::string& pattern, bool firstOnly) {
    size_t slash = pattern.rfind('/');
    std::string dir = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    TMessageCounts counts;
    DIR* folder = ::opendir(dir.c_str());
    if (!folder)
        return {};
    const int folderFd = ::dirfd(folder);
    // One look at each entry itself (a symbolic link is never a message file) gives its kind
    // and size: a folder of thousands of messages is counted at every transfer.
    for (errno = 0; const dirent* entry = ::readdir(folder); errno = 0) {
        const std::string_view name = entry->d_name;
        if (!MatchFileMask(name, mask))
            continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_size == 0)
            continue;
        ++counts.Total;
        size_t dot = name.rfind('.');
        bool orphan = dot != std::string_view::npos && LowerAscii(name.substr(dot)) == ".emlo";
        if (name[0] == '_' || orphan)
            ++counts.Unread;
        if (firstOnly)
            break;
    }
    const bool failed = errno != 0;
    ::closedir(folder);
    if (failed)
        return {};
    return counts;
}

} // namespace

TMessageCounts CountMessageFiles(const std::string& pattern) { return CountFiles(pattern, false); }

bool AnyMessageFile(const std::string& pattern) { return CountFiles(pattern, true).Total > 0; }

bool CopyFileBlocks(const std::string& source, const std::string& destination, bool overwrite) {
    struct stat st {};
    if (overwrite && ::lstat(destination.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        ::unlink(destination.c_str());
    if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char block[2048];
    for (;;) {
        ssize_t got = ::read(in, block, sizeof block);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (got == 0)
            break;
        ssize_t done = 0;
        while (done < got) {
            ssize_t put = ::write(out, block + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                ok = false;
                break;
            }
            done += put;
        }
        if (!ok)
            break;
    }
    if (::close(out) != 0)
        ok = false; // a delayed write error (full disk on a network file system)
    ::close(in);
    return ok;
}

std::string MessageStem(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
    if (ms < 0)
        ms += 1000;
    std::time_t seconds =
        system_clock::to_time_t(time_point_cast<system_clock::duration>(when - milliseconds(ms)));
    std::tm local{};
    localtime_r(&seconds, &local);
    auto two = [](int value) {
        std::string s = std::to_string(value);
        return s.size() < 2 ? "0" + s : s;
    };
    return std::to_string(local.tm_mday) + two(local.tm_mon + 1) +
           std::to_string(local.tm_year + 1900) + two(local.tm_hour) + two(local.tm_min) +
           two(local.tm_sec) + std::to_string(ms);
}

std::string NewMessageStem(const std::string& folder) {
    static std::mutex lock;
    static std::set<std::string> issued;
    std::lock_guard<std::mutex> guard(lock);
    auto taken = [&folder](const std::string& stem) {
        for (const char* form : {"_%.eml", "%.eml", "%.emlc", "%.emlf", "%.emlo"}) {
            std::string name(form);
            name.replace(name.find('%'), 1, stem);
            struct stat st {};
            if (::lstat((folder + name).c_str(), &st) == 0)
                return true;
        }
        return false;
    };
    auto when = std::chrono::system_clock::now();
    for (;;) {
        std::string stem = MessageStem(when);
        if (!issued.count(stem) && !taken(stem)) {
            issued.insert(stem);
            return stem;
        }
        when += std::chrono::milliseconds(1);
    }
}

std::optional<std::string> ChangeMessageFileState(const std::string& folder,
                                                  const std::string& fileName, int state) {
    auto newName = MessageNameForState(fileName, state);
    if (!newName)
        return std::nullopt;
    if (*newName == fileName)
        return newName;
    const std::string from = folder + fileName;
    const std::string to = folder + *newName;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return newName;
    if (errno != EINVAL && errno != ENOSYS)
        return std::nullopt;
    // File systems without no-replace renames: a hard link fails when the name is taken.
    if (::link(from.c_str(), to.c_str()) != 0)
        return std::nullopt;
    ::unlink(from.c_str());
    return newName;
}

std::optional<std::string> WriteNewMessageFile(const std::string& folder, int state,
                                               std::string_view message) {
    static unsigned counter = 0;
    const std::string temp =
        folder + ".new" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::nullopt;
    bool ok = true;
    size_t done = 0;
    while (ok && done < message.size()) {
        ssize_t put = ::write(fd, message.data() + done, message.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            ok = false;
        else
            done += static_cast<size_t>(put);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    std::optional<std::string> result;
    for (int attempt = 0; ok && attempt < 100 && !result; ++attempt) {
        auto name = MessageNameForState(NewMessageStem(folder) + ".eml", state);
        if (!name)
            break;
        if (::link(temp.c_str(), (folder + *name).c_str()) == 0)
            result = name;
        else if (errno != EEXIST)
            break;
    }
    ::unlink(temp.c_str());
    return result;
}

} // namespace pelmora
