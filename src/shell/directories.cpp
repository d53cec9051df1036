#include "shell/directories.h"

#include "shell/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace pelmora {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::string Absolute(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        return path;
    }
    return absolute.lexically_normal().string();
}

// Creates dir (and its parents) unless it exists as a directory.
bool EnsureDirectory(const std::string& dir) {
    std::error_code error;
    if (fs::is_directory(dir, error)) {
        return true;
    }
    return CreatePrivateDirectories(dir);
}

} // namespace

std::string WithSlash(std::string path) {
    if (!path.empty() && path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

TDirectories MakeDirectories(const std::string& programDir, const std::optional<std::string>& store,
                             const std::optional<std::string>& temp, const std::string& backupDir) {
    TDirectories dirs;
    dirs.Program = WithSlash(programDir);
    dirs.Store = store ? WithSlash(*store) : dirs.Program + "Projects/";
    dirs.TempRoot = temp ? WithSlash(*temp) : dirs.Program + "Temp/";
    dirs.Temp = dirs.TempRoot + PrivateTempName() + "/";
    dirs.Backup = backupDir.empty() ? dirs.Program + "Projects/Backups/" : WithSlash(backupDir);
    dirs.AddressBooks = dirs.Program + "AddressBooks/";
    dirs.Templates = dirs.Program + "Templates/";
    dirs.Sounds = dirs.Program + "Sounds/";
    dirs.Skin = dirs.Program + "Skin/";
    return dirs;
}

TStartArguments ParseStartArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return ParseStartArguments(args);
}

TStartArguments ParseStartArguments(const std::vector<std::string>& args) {
    TStartArguments result;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--home" && i + 1 < args.size()) {
            result.Home = args[++i];
        } else if (arg.rfind("--home=", 0) == 0) {
            result.Home = arg.substr(7);
        } else {
            result.Others.push_back(arg);
        }
    }
    if (result.Home && result.Home->empty()) {
        result.Home.reset();
    }
    return result;
}

std::string ResolveDataHome(const std::optional<std::string>& pelmoraHome,
                            const std::optional<std::string>& homeOption,
                            const std::optional<std::string>& xdgDataHome,
                            const std::optional<std::string>& userHome) {
    if (pelmoraHome && !pelmoraHome->empty()) {
        return WithSlash(Absolute(*pelmoraHome));
    }
    if (homeOption && !homeOption->empty()) {
        return WithSlash(Absolute(*homeOption));
    }
    // Relative XDG paths are invalid and are ignored.
    if (xdgDataHome && !xdgDataHome->empty() && xdgDataHome->front() == '/') {
        return WithSlash(*xdgDataHome) + "pelmora/";
    }
    const std::string home = userHome && !userHome->empty() ? *userHome : std::string("/");
    return WithSlash(Absolute(home)) + ".local/share/pelmora/";
}

std::string ResolveDataHome(const std::optional<std::string>& homeOption) {
    return ResolveDataHome(Env("PELMORA_HOME"), homeOption, Env("XDG_DATA_HOME"), Env("HOME"));
}

std::vector<std::string> AutoRunCommandFor(const std::string& program, const std::string& dataHome,
                                           const std::optional<std::string>& xdgDataHome,
                                           const std::optional<std::string>& userHome) {
    std::vector<std::string> command{program};
    const std::string home = WithSlash(Absolute(dataHome));
    if (home != ResolveDataHome(std::nullopt, std::nullopt, xdgDataHome, userHome)) {
        command.push_back("--home");
        command.push_back(home);
    }
    return command;
}

std::vector<std::string> AutoRunCommandFor(const std::string& program, const std::string& dataHome) {
    return AutoRunCommandFor(program, dataHome, Env("XDG_DATA_HOME"), Env("HOME"));
}

std::string PrivateTempName() {
    return "pelmora-" + std::to_string(::geteuid());
}

namespace {

// True when path is a directory (not a link to one) of this user, now with mode 0700.
bool IsOwnPrivateDirectory(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return false;
    }
    return (info.st_mode & 0777) == 0700 || ::chmod(path.c_str(), 0700) == 0;
}

} // namespace

bool EnsurePrivateTempDirectory(TDirectories& dirs) {
    if (!EnsureDirectory(dirs.TempRoot)) {
        return false;
    }
    const std::string own = dirs.TempRoot + PrivateTempName();
    if (::mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) {
        if (IsOwnPrivateDirectory(own)) {
            dirs.Temp = own + "/";
            return true;
        }
    }
    std::string pattern = dirs.TempRoot + "pelmora-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    dirs.Temp = pattern + "/";
    return true;
}

std::optional<std::string> CreateRequiredDirectories(TDirectories& dirs) {
    for (const std::string* dir : {&dirs.Program, &dirs.TempRoot, &dirs.Store, &dirs.AddressBooks,
                                   &dirs.Templates, &dirs.Backup}) {
        if (!EnsureDirectory(*dir)) {
            return *dir;
        }
    }
    if (!EnsurePrivateTempDirectory(dirs)) {
        return dirs.Temp;
    }
    return std::nullopt;
}

void CreateOptionalDirectories(const TDirectories& dirs) {
    EnsureDirectory(dirs.Sounds);
    EnsureDirectory(dirs.Skin);
}

std::optional<std::uint64_t> FreeDiskBytes(const std::string& path) {
    struct statvfs info {};
    if (path.empty() || ::statvfs(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

bool LowOnDisk(const std::string& path) {
    const std::optional<std::uint64_t> free = FreeDiskBytes(path);
    return free && *free < kLowDiskBytes;
}

bool HoldsNonEmptyFile(const std::string& dir) {
    std::error_code error;
    fs::directory_iterator it(dir, error);
    if (error) {
        return true;
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) {
            return true;
        }
        std::error_code entryError;
        // Links to files count as the files they name; links to directories do not.
        if (fs::is_regular_file(it->path(), entryError) &&
            fs::file_size(it->path(), entryError) > 0 && !entryError) {
            return true;
        }
    }
    return error.operator bool();
}

} // namespace pelmora
