// "pelmora" without --collect is only a launcher: it becomes the window program beside it
// with the arguments it was given, and says so plainly when that program is missing or
// cannot run. The unattended run needs nothing but the launcher.

#include "program_run.h"
#include "support/temp_dir.h"

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::ReadTextFile;
using pelmora::testing::RunProgram;
using pelmora::testing::TProgramRun;
using pelmora::testing::TTempDir;

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The window comes up through the launcher with its arguments: --home picks the data home and
// --screenshot makes it save a picture of itself and close.
TEST(LauncherTest, StartsTheWindowWithItsArguments) {
    TTempDir dir("pelmora-launcher");
    const std::string home = dir.Path() + "home/";
    const std::string picture = dir.Path() + "window.png";

    const TProgramRun run =
        RunProgram(PELMORA_PROGRAM, {"--home", home, "--screenshot", picture}, dir.Path());
    ASSERT_EQ(run.ExitCode, 0) << run.Err;

    // A PNG file: its signature, then the IHDR chunk with the picture's size.
    const std::string png = ReadTextFile(picture);
    ASSERT_GT(png.size(), 24u) << run.Err;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_GT(BigEndian32(png, 16), 100u);
    EXPECT_GT(BigEndian32(png, 20), 100u);
    // The window worked on the data home it was given.
    EXPECT_TRUE(fs::exists(home + "pelmora.instance"));
}

struct TMissingWindowCase {
    const char* Name;
    bool Present;           // a file named like the window program lies beside the launcher
    int ExitCode;           // what the launcher ends with
    const char* ErrorText;  // what it says, besides the window program's path
};

class LauncherAloneTest : public ::testing::TestWithParam<TMissingWindowCase> {};

// A launcher copied without its window program: a window start ends with a reason and an exit
// status a shell knows, while the unattended run still works.
TEST_P(LauncherAloneTest, WindowStartFailsClearlyAndCollectStillRuns) {
    const TMissingWindowCase& row = GetParam();
    TTempDir dir("pelmora-launcher-alone");
    const std::string launcher = dir.Path() + "pelmora";
    fs::copy_file(PELMORA_PROGRAM, launcher);
    fs::permissions(launcher, fs::perms::owner_all);
    if (row.Present) {
        ASSERT_TRUE(pelmora::testing::WriteTextFile(dir.Path() + "pelmora-window", "#!/bin/sh\n"));
        fs::permissions(dir.Path() + "pelmora-window", fs::perms::owner_read);
    }
    const std::string home = dir.Path() + "home/";

    const TProgramRun window = RunProgram(launcher, {"--home", home}, dir.Path());
    EXPECT_EQ(window.ExitCode, row.ExitCode) << window.Err;
    EXPECT_NE(window.Err.find("cannot start the window program " + dir.Path() + "pelmora-window"),
              std::string::npos)
        << window.Err;
    EXPECT_NE(window.Err.find(row.ErrorText), std::string::npos) << window.Err;

    // A new data home's account has no server yet: the run tries it and reports that.
    const TProgramRun collect = RunProgram(launcher, {"--collect", "--home", home}, dir.Path());
    EXPECT_EQ(collect.ExitCode, 1) << collect.Err;
    EXPECT_NE(collect.Out.find("Account Settings were insufficient"), std::string::npos)
        << collect.Out;
    EXPECT_EQ(collect.Err.find("window program"), std::string::npos) << collect.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LauncherAloneTest,
    ::testing::Values(TMissingWindowCase{"Missing", false, 127, "No such file or directory"},
                      TMissingWindowCase{"NotExecutable", true, 126, "Permission denied"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace pelmora
