#include "shell/directories.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "shell/temp_dir.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using testing::TTempDir;
using testing::WriteFile;

struct THomeCase {
    const char* Name;
    std::optional<std::string> PelmoraHome;
    std::optional<std::string> HomeOption;
    std::optional<std::string> XdgDataHome;
    std::optional<std::string> UserHome;
    std::string Expected;
};

class DataHomeTest : public ::testing::TestWithParam<THomeCase> {};

TEST_P(DataHomeTest, Resolves) {
    const THomeCase& c = GetParam();
    EXPECT_EQ(ResolveDataHome(c.PelmoraHome, c.HomeOption, c.XdgDataHome, c.UserHome), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Order, DataHomeTest,
    ::testing::Values(
        THomeCase{"EnvironmentFirst", "/data/p", "/opt/h", "/x", "/home/u", "/data/p/"},
        THomeCase{"ThenOption", std::nullopt, "/opt/h/", "/x", "/home/u", "/opt/h/"},
        THomeCase{"EmptyEnvironmentIgnored", "", "/opt/h", "/x", "/home/u", "/opt/h/"},
        THomeCase{"ThenXdg", std::nullopt, std::nullopt, "/x/share", "/home/u",
                  "/x/share/pelmora/"},
        THomeCase{"RelativeXdgIgnored", std::nullopt, std::nullopt, "share", "/home/u",
                  "/home/u/.local/share/pelmora/"},
        THomeCase{"ThenUserHome", std::nullopt, std::nullopt, std::nullopt, "/home/u",
                  "/home/u/.local/share/pelmora/"},
        THomeCase{"NormalisedPath", "/data/./p/../q", std::nullopt, std::nullopt, "/home/u",
                  "/data/q/"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(DataHomeTest, RelativeOptionIsMadeAbsolute) {
    const std::string home = ResolveDataHome(std::nullopt, "rel/dir", std::nullopt, "/h");
    EXPECT_EQ(home, (fs::current_path() / "rel/dir").string() + "/");
}

TEST(AutoRunCommandTest, CarriesTheDataHomeOnlyWhenItIsNotTheDefault) {
    const std::vector<std::string> plain{"/usr/bin/pelmora"};
    EXPECT_EQ(AutoRunCommandFor("/usr/bin/pelmora", "/home/u/.local/share/pelmora/", std::nullopt,
                                "/home/u"),
              plain);
    EXPECT_EQ(AutoRunCommandFor("/usr/bin/pelmora", "/home/u/.local/share/pelmora", std::nullopt,
                                "/home/u"),
              plain);
    EXPECT_EQ(AutoRunCommandFor("/usr/bin/pelmora", "/x/share/pelmora/", "/x/share", "/home/u"),
              plain);
    // The XDG default of another session is not this one's: the entry names it.
    EXPECT_EQ(AutoRunCommandFor("/usr/bin/pelmora", "/home/u/.local/share/pelmora/", "/x/share",
                                "/home/u"),
              (std::vector<std::string>{"/usr/bin/pelmora", "--home",
                                        "/home/u/.local/share/pelmora/"}));
    EXPECT_EQ(AutoRunCommandFor("/opt/p/pelmora", "/data/mail", std::nullopt, "/home/u"),
              (std::vector<std::string>{"/opt/p/pelmora", "--home", "/data/mail/"}));
}

TEST(StartArgumentsTest, HomeOptionIsTakenOut) {
    const TStartArguments a = ParseStartArguments({"--home", "/d", "mailto:a@b.c"});
    EXPECT_EQ(a.Home, "/d");
    EXPECT_EQ(a.Others, std::vector<std::string>{"mailto:a@b.c"});
    const TStartArguments b = ParseStartArguments({"x@y.z", "--home=/e"});
    EXPECT_EQ(b.Home, "/e");
    EXPECT_EQ(b.Others, std::vector<std::string>{"x@y.z"});
    // A trailing "--home" without a directory is an ordinary argument.
    const TStartArguments c = ParseStartArguments({"--home"});
    EXPECT_FALSE(c.Home);
    EXPECT_EQ(c.Others, std::vector<std::string>{"--home"});
}

TEST(DirectoriesTest, DefaultsAndReplacements) {
    const TDirectories d = MakeDirectories("/h", std::nullopt, std::nullopt, "");
    EXPECT_EQ(d.Program, "/h/");
    EXPECT_EQ(d.Store, "/h/Projects/");
    EXPECT_EQ(d.TempRoot, "/h/Temp/");
    EXPECT_EQ(d.Temp, "/h/Temp/" + PrivateTempName() + "/");
    EXPECT_EQ(d.Backup, "/h/Projects/Backups/");
    EXPECT_EQ(d.AddressBooks, "/h/AddressBooks/");
    EXPECT_EQ(d.Templates, "/h/Templates/");
    EXPECT_EQ(d.Sounds, "/h/Sounds/");
    EXPECT_EQ(d.Skin, "/h/Skin/");
    const TDirectories e = MakeDirectories("/h/", "/s", "/t/", "/b");
    EXPECT_EQ(e.Store, "/s/");
    EXPECT_EQ(e.TempRoot, "/t/");
    EXPECT_EQ(e.Backup, "/b/");
}

TEST(DirectoriesTest, CreatesEveryDirectoryOnFirstStart) {
    TTempDir dir;
    TDirectories d = MakeDirectories(dir.Path() + "home", std::nullopt, std::nullopt, "");
    EXPECT_EQ(CreateRequiredDirectories(d), std::nullopt);
    EXPECT_TRUE(fs::is_directory(d.Temp));
    CreateOptionalDirectories(d);
    for (const char* sub :
         {"Projects", "Temp", "AddressBooks", "Templates", "Projects/Backups", "Sounds", "Skin"}) {
        EXPECT_TRUE(fs::is_directory(dir.Path() + "home/" + sub)) << sub;
    }
}

TEST(DirectoriesTest, ReportsTheDirectoryThatCannotBeCreated) {
    TTempDir dir;
    // A file where the data home should be blocks every directory below it, even for root.
    WriteFile(dir.Path() + "blocked", "x");
    TDirectories home = MakeDirectories(dir.Path() + "blocked", std::nullopt, std::nullopt, "");
    EXPECT_EQ(CreateRequiredDirectories(home), dir.Path() + "blocked/");
    // The order is temporary, store, address books, templates, backup.
    fs::create_directories(dir.Path() + "ok");
    WriteFile(dir.Path() + "ok/AddressBooks", "x");
    TDirectories ok = MakeDirectories(dir.Path() + "ok", std::nullopt, std::nullopt, "");
    EXPECT_EQ(CreateRequiredDirectories(ok), dir.Path() + "ok/AddressBooks/");
    EXPECT_TRUE(fs::is_directory(dir.Path() + "ok/Temp"));
    EXPECT_TRUE(fs::is_directory(dir.Path() + "ok/Projects"));
    EXPECT_FALSE(fs::exists(dir.Path() + "ok/Templates"));
}

TEST(DirectoriesTest, NonEmptyFileRule) {
    TTempDir dir;
    EXPECT_FALSE(HoldsNonEmptyFile(dir.Path()));
    fs::create_directories(dir.Path() + "sub/deeper");
    WriteFile(dir.Path() + "sub/full.txt", "data");
    WriteFile(dir.Path() + "empty.txt", "");
    EXPECT_FALSE(HoldsNonEmptyFile(dir.Path())) << "sub-directories and empty files do not count";
    WriteFile(dir.Path() + "full.txt", "data");
    EXPECT_TRUE(HoldsNonEmptyFile(dir.Path()));
    EXPECT_TRUE(HoldsNonEmptyFile(dir.Path() + "missing/")) << "unreadable counts as not empty";
}

TEST(DirectoriesTest, FreeDiskBytes) {
    TTempDir dir;
    EXPECT_TRUE(FreeDiskBytes(dir.Path()).has_value());
    EXPECT_FALSE(FreeDiskBytes(dir.Path() + "missing/").has_value());
    EXPECT_FALSE(LowOnDisk(dir.Path() + "missing/"));
}

} // namespace
} // namespace pelmora
