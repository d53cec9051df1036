// "pelmora" without --collect is only a launcher: it becomes the window program beside it
// with the arguments it was given, and says so plainly when that program is missing or
// cannot run. The unattended run needs nothing but the launcher.

#include "support/temp_dir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::ReadTextFile;
using pelmora::testing::TTempDir;

struct TProgramRun {
    int ExitCode = -1; // -1: did not end by itself (killed by a signal or after the time)
    std::string Out;
    std::string Err;
};

// Runs `program` with the arguments and the offscreen window platform, and waits at most a
// minute for it.
TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& scratch) {
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (!entry.starts_with("QT_QPA_PLATFORM=") && !entry.starts_with("PELMORA_HOME="))
            env.emplace_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out = scratch + "out.txt";
    const std::string err = scratch + "err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    TProgramRun run;
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status))
        run.ExitCode = WEXITSTATUS(status);
    run.Out = ReadTextFile(out);
    run.Err = ReadTextFile(err);
    return run;
}

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
