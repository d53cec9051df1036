#include "shell/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

void SetError(std::string* error, const std::string& what, const std::string& path, int code) {
    if (error)
        *error = what + " " + path + ": " + std::strerror(code);
}

bool WriteAll(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, unsigned mode,
                         std::string* error) {
    return WriteFileAtomically(path, {data}, mode, error);
}

bool WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> pieces,
                         unsigned mode, std::string* error) {
    static std::atomic<unsigned> counter{0};
    std::string temp =
        path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1));
    int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
               static_cast<mode_t>(mode));
    if (fd < 0) {
        SetError(error, "Cannot create", temp, errno);
        return false;
    }
    // The umask must not widen or narrow what was asked for.
    (void)::fchmod(fd, static_cast<mode_t>(mode));
    bool ok = true;
    for (std::string_view piece : pieces) {
        if (!(ok = WriteAll(fd, piece)))
            break;
    }
    int code = errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        code = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        SetError(error, "Cannot write", temp, code);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        SetError(error, "Cannot replace", path, errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool WriteNewPrivateFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(kPrivateFileMode));
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

bool CreatePrivateDirectories(const std::string& dir) {
    std::string path;
    size_t pos = 0;
    while (pos <= dir.size()) {
        size_t slash = dir.find('/', pos);
        if (slash == std::string::npos)
            slash = dir.size();
        path = dir.substr(0, slash);
        pos = slash + 1;
        if (path.empty())
            continue;
        if (::mkdir(path.c_str(), 0700) == 0) {
            (void)::chmod(path.c_str(), 0700); // the umask may have narrowed it
        } else if (errno != EEXIST) {
            return false;
        }
    }
    struct stat info {};
    return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool AppendToFile(const std::string& path, std::string_view data, bool sync, bool startLine) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC,
                    static_cast<mode_t>(kPrivateFileMode));
    if (fd < 0)
        return false;
    bool ok = true;
    struct stat info {};
    if (startLine && ::fstat(fd, &info) == 0 && info.st_size > 0) {
        char last = 0;
        if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n' && last != '\r')
            ok = WriteAll(fd, "\r\n");
    }
    ok = ok && WriteAll(fd, data);
    if (sync)
        ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error,
                                         size_t maxBytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "Cannot open", path, errno);
        return std::nullopt;
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetError(error, "Cannot read", path, errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        if (data.size() + static_cast<size_t>(n) > maxBytes) {
            if (error)
                *error = "File too large: " + path;
            ::close(fd);
            return std::nullopt;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

bool CopyFileAtomically(const std::string& source, const std::string& target, unsigned mode,
                        std::string* error) {
    auto data = ReadWholeFile(source, error);
    if (!data)
        return false;
    return WriteFileAtomically(target, *data, mode, error);
}

} // namespace pelmora
