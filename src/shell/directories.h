#pragma once
// The directories the program works in, all below the data home unless the user moved the
// store or the temporary directory. Every path ends in "/".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Drives with less free space than this are reported as low on disk.
constexpr std::uint64_t kLowDiskBytes = 20'000'000;

struct TDirectories {
    std::string Program;      // the data home: settings, logs, language files, flag file
    std::string Store;        // the mail store ("Projects/" or the registry's "MailStore")
    std::string TempRoot;     // "Temp/" or the registry's "TempDir": the user's choice
    std::string Temp;         // the program's own directory inside TempRoot; emptied at close
    std::string Backup;       // setting "BackupDir", default "Projects/Backups/"
    std::string AddressBooks; // "AddressBooks/"
    std::string Templates;    // "Templates/"
    std::string Sounds;       // "Sounds/"
    std::string Skin;         // "Skin/" (busy animation frames)
};

// Appends "/" when missing (an empty path stays empty).
std::string WithSlash(std::string path);

// The directories for a data home (ending in "/"); store and temp replace the defaults when
// given, backupDir when not empty.
TDirectories MakeDirectories(const std::string& programDir, const std::optional<std::string>& store,
                             const std::optional<std::string>& temp, const std::string& backupDir);

// The arguments of the program with "--home DIR" / "--home=DIR" taken out.
struct TStartArguments {
    std::optional<std::string> Home;
    std::vector<std::string> Others;
};
// args excludes the program name.
TStartArguments ParseStartArguments(const std::vector<std::string>& args);
// The same of a main's argc and argv (argv[0] is the program name).
TStartArguments ParseStartArguments(int argc, char** argv);

// The data home: pelmoraHome when set and not empty, else homeOption, else xdgDataHome +
// "/pelmora" when that is an absolute path, else userHome + "/.local/share/pelmora". Relative
// paths are made absolute against the current directory. Ends in "/".
std::string ResolveDataHome(const std::optional<std::string>& pelmoraHome,
                            const std::optional<std::string>& homeOption,
                            const std::optional<std::string>& xdgDataHome,
                            const std::optional<std::string>& userHome);
// The same, reading $PELMORA_HOME, $XDG_DATA_HOME and $HOME.
std::string ResolveDataHome(const std::optional<std::string>& homeOption);

// The command an autostart entry runs: the program, and "--home" dataHome when the data home
// differs from the one a start without $PELMORA_HOME and --home would use (from
// xdgDataHome and userHome as above), so a login starts the program on the same data.
std::vector<std::string> AutoRunCommandFor(const std::string& program, const std::string& dataHome,
                                           const std::optional<std::string>& xdgDataHome,
                                           const std::optional<std::string>& userHome);
// The same, reading $XDG_DATA_HOME and $HOME.
std::vector<std::string> AutoRunCommandFor(const std::string& program, const std::string& dataHome);

// Creates, when missing and in this order, the data home, the temporary, store, address-book,
// templates and backup directories, then the program's own temporary directory (see
// EnsurePrivateTempDirectory). Returns the first directory that could not be created (the
// caller reports it and ends the program with kDirectoryExitCode), or std::nullopt.
std::optional<std::string> CreateRequiredDirectories(TDirectories& dirs);
// The name of the program's own directory inside the temporary directory the user chose:
// "pelmora-" + user id. Only this directory is ever emptied.
std::string PrivateTempName();
// Makes dirs.Temp a directory that only this user can enter (mode 0700) inside
// dirs.TempRoot: PrivateTempName(), or a fresh "pelmora-XXXXXX" when that name is taken by
// something else (a link, a file, another user's directory). False when neither can be made.
bool EnsurePrivateTempDirectory(TDirectories& dirs);

// Creates the sounds and skin directories when missing; failures are ignored.
void CreateOptionalDirectories(const TDirectories& dirs);
constexpr int kDirectoryExitCode = 99;

// Free bytes for an unprivileged user on the file system holding path; std::nullopt when it
// cannot be determined.
std::optional<std::uint64_t> FreeDiskBytes(const std::string& path);
// True when the free space is known and below kLowDiskBytes.
bool LowOnDisk(const std::string& path);

// True when dir holds at least one file of non-zero size (files in sub-directories do not
// count, nor do empty files). A directory that cannot be read counts as not empty.
bool HoldsNonEmptyFile(const std::string& dir);

} // namespace pelmora
