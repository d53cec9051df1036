// "pelmora --collect" against a POP3 server that misbehaves (tests/support/hostile_pop3.py):
// the real program must end in bounded time and memory, report a failure with exit code 1,
// store nothing half and leave the message on the server; odd but valid servers must work.
#include "processing/processing_fixture.h"
#include "program_run.h"
#include "shell/atomic_file.h"
#include "shell/settings.h"
#include "store/message_files.h"
#include "store/store_layout.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

extern char** environ;

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TArgv;
using pelmora::testing::TChildProcess;
using pelmora::testing::TTempDir;

struct TMeasuredRun {
    int ExitCode = -1; // -1: killed or never started
    std::string Out;
    double Seconds = 0;
    long PeakKb = 0; // the program's peak resident memory
};

// Runs the program, measuring its wall time and peak memory; a run longer than limitSeconds
// is killed (and fails the test through its exit code).
TMeasuredRun RunMeasured(const std::vector<std::string>& arguments, const std::string& scratch,
                         int limitSeconds) {
    TArgv argv(PELMORA_PROGRAM, arguments);
    const std::string out = scratch + "/out.txt";
    TMeasuredRun run;
    const auto start = std::chrono::steady_clock::now();
    // A child started from this process reports this process's own peak as its peak (the
    // memory map it starts with is ours), so the child resets that mark before it becomes
    // the program: only the program's own peak is measured.
    const pid_t pid = fork();
    if (pid < 0)
        return run;
    if (pid == 0) {
        const int peak = open("/proc/self/clear_refs", O_WRONLY);
        if (peak >= 0) {
            (void)!write(peak, "5", 1);
            close(peak);
        }
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        execve(argv.Data()[0], argv.Data(), environ);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limitSeconds)) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status))
        run.ExitCode = WEXITSTATUS(status);
    run.PeakKb = usage.ru_maxrss;
    run.Out = ReadWholeFile(out).value_or("");
    return run;
}

struct TCollectCase {
    std::string Mode; // of hostile_pop3.py
    int ExitCode;
    bool Stored;          // the message is filed (and then deleted on the server)
    std::string OutHas;   // part of the session log, when the run logs the reason
    int MaxSeconds = 30;  // wall time of the run
    long MaxPeakMb = 120; // peak memory of the program
    // When set, the peak memory of the program may be at most this many times the size of
    // the message instead.
    double MaxPeakPerSize = 0;
};

void PrintTo(const TCollectCase& item, std::ostream* out) {
    *out << item.Mode;
}

class CollectHostileTest : public WorkspaceTest,
                           public ::testing::WithParamInterface<TCollectCase> {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        AccountNode = Workspace->AccountTree.First();
        Project = Workspace->ReadAccountSettings(AccountNode).DefaultProject;
        ASSERT_TRUE(EnsureProjectDirectories(Store, Project));
    }

    // Starts the server in the given mode and points the account at it.
    void StartServer(const std::string& mode) {
        Transcript = Scratch.Path() + "transcript.txt";
        const std::vector<std::string> command{
            "python3", std::string(PELMORA_SOURCE_DIR) + "/tests/support/hostile_pop3.py", mode,
            std::to_string(Port), Transcript};
        ASSERT_TRUE(Server.Start(command, Scratch.Path() + "server.log"));
        // A big message is written by the server before it listens.
        ASSERT_TRUE(pelmora::testing::WaitForServer(Server, Port, 120000))
            << ReadWholeFile(Scratch.Path() + "server.log").value_or("");
        for (const auto& [code, value] :
             std::vector<std::pair<int, std::string>>{{104, "127.0.0.1"},
                                                      {105, "collect"},
                                                      {106, "secret"},
                                                      {121, std::to_string(Port)},
                                                      {108, "127.0.0.1"},
                                                      {123, "25"},
                                                      {202, "me@example.org"},
                                                      {203, "Me Myself"},
                                                      {110, "No"}})
            SetAccountParameter(*Workspace, AccountNode, code, value);
        // One second without data, so ten seconds for a whole command.
        Shell->Settings().SetInt(TSettingKey::POP3_TimeOut, 1);
        ASSERT_TRUE(Workspace->SaveAccountTree());
        Shell->Settings().Save();
    }

    TMeasuredRun Collect(int limitSeconds) {
        return RunMeasured({"--collect", "--home", Home.string()}, Scratch.Path(), limitSeconds);
    }

    // Message files anywhere in the store, and files left over from writing one.
    std::vector<std::string> StoredFiles() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(Home, ec)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && (IsMessageFileName(name) || name.ends_with(".saving")))
                names.push_back(entry.path().string());
        }
        return names;
    }

    bool ServerGot(const std::string& verb) const {
        const std::string transcript = ReadWholeFile(Transcript).value_or("");
        return transcript.starts_with(verb) || transcript.find("\n" + verb) != std::string::npos;
    }

    TTempDir Scratch{"pelmora-hostile"};
    TChildProcess Server;
    std::string Transcript;
    int Port = pelmora::testing::PickFreePort();
    TNode* AccountNode = nullptr;
    int Project = 0;
};

TEST_P(CollectHostileTest, EndsInTimeAndStoresWholeMessagesOnly) {
    const TCollectCase& item = GetParam();
    StartServer(item.Mode);
    const TMeasuredRun run = Collect(item.MaxSeconds);
    EXPECT_EQ(run.ExitCode, item.ExitCode) << run.Out;
    EXPECT_LT(run.Seconds, item.MaxSeconds);
    if (item.MaxPeakPerSize > 0) {
        const double size = static_cast<double>(fs::file_size(Transcript + ".eml"));
        std::cout << "peak memory " << run.PeakKb / 1024 << " MB for a message of "
                  << size / (1 << 20) << " MB: "
                  << static_cast<double>(run.PeakKb) * 1024 / size << " times its size\n";
        EXPECT_LT(static_cast<double>(run.PeakKb) * 1024, item.MaxPeakPerSize * size)
            << run.PeakKb << " kB for a message of " << size << " bytes";
    } else {
        EXPECT_LT(run.PeakKb, item.MaxPeakMb * 1024) << "kB";
    }
    if (!item.OutHas.empty()) {
        EXPECT_NE(run.Out.find(item.OutHas), std::string::npos) << run.Out;
    }
    const std::vector<std::string> stored = StoredFiles();
    if (!item.Stored) {
        EXPECT_TRUE(stored.empty()) << stored.front();
        EXPECT_FALSE(ServerGot("DELE")) << "the message stays on the server";
        return;
    }
    ASSERT_EQ(stored.size(), 1u) << run.Out;
    EXPECT_TRUE(ServerGot("DELE 1"));
    // The file holds the server's message byte for byte, every line ended by CR LF.
    EXPECT_EQ(WithoutAddedHeaders(ReadWholeFile(stored[0]).value_or("")),
              ReadWholeFile(Transcript + ".eml").value_or("<no copy>"));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, CollectHostileTest,
    ::testing::Values(
        // Listed sizes no message can have: refused before it is asked for, nothing reserved.
        TCollectCase{"huge-size", 1, false, ""}, TCollectCase{"wrapping-size", 1, false, ""},
        // 300 MB sent for a message listed with 1000 bytes: cut at the 256 MB limit.
        TCollectCase{"oversize", 1, false, "", 60, 400},
        // A byte every 0.4 s: the ten-second deadline of the command ends it.
        TCollectCase{"trickle", 1, false, "", 25},
        // A listing that never ends or cannot be read is a failure, not an empty mailbox.
        TCollectCase{"endless-list", 1, false, "listing failed", 60, 400},
        TCollectCase{"garbage-list", 1, false, "listing cannot be read"},
        TCollectCase{"split-greeting", 0, true, ""}, TCollectCase{"bare-lf", 0, true, ""},
        // A 200 MB message is held once while it is retrieved, filed and written: plain text
        // lines, and a multipart message with one big base64 attachment.
        TCollectCase{"big", 0, true, "", 120, 0, 2.0},
        TCollectCase{"big-attachment", 0, true, "", 120, 0, 2.0}),
    [](const ::testing::TestParamInfo<TCollectCase>& info) {
        std::string name = info.param.Mode;
        std::erase(name, '-');
        return name;
    });

} // namespace
} // namespace pelmora
