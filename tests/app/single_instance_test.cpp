// Two pelmora processes on one data home, started as the real program: a second window start
// hands over to the running window and ends at once, and an unattended run beside a window
// (or a window beside an unattended run) leaves the store's indexes to their owner.

#include "shell/atomic_file.h"
#include "store/folder_index.h"
#include "store/message_list.h"
#include "store/store_layout.h"
#include "program_run.h"
#include "support/temp_dir.h"
#include "shell/transfer_lock.h"
#include "shell/window_lock.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <thread>


namespace pelmora {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultProject = 100000;

// A started program whose output goes to files; killed when the test ends.
class TProgram {
public:
    TProgram(std::vector<std::string> arguments, const std::string& logBase) : Log(logBase) {
        Pid = pelmora::testing::SpawnProgram(PELMORA_PROGRAM, arguments, Log + ".out",
                                             Log + ".err");
    }
    ~TProgram() { Kill(); }
    void Kill() {
        if (Running())
            ::kill(Pid, SIGKILL);
        Wait(std::chrono::seconds(5));
    }
    bool Running() {
        if (Pid < 0 || Exited)
            return false;
        int status = 0;
        const pid_t done = ::waitpid(Pid, &status, WNOHANG);
        if (done == Pid) {
            Exited = true;
            ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return !Exited;
    }
    // The exit code, or -2 when it has not ended within the time.
    int Wait(Clock::duration limit) {
        const auto end = Clock::now() + limit;
        while (Running() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Exited ? ExitCode : -2;
    }
    std::string Err() const { return ReadWholeFile(Log + ".err").value_or(""); }

private:
    std::string Log;
    pid_t Pid = -1;
    bool Exited = false;
    int ExitCode = -1;
};

template <typename Condition> bool WaitFor(Condition condition) {
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Modification times of every file of the data home.
std::map<std::string, fs::file_time_type> Snapshot(const fs::path& home) {
    std::map<std::string, fs::file_time_type> times;
    for (const auto& entry : fs::recursive_directory_iterator(home))
        if (entry.is_regular_file())
            times[entry.path().string()] = entry.last_write_time();
    return times;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    std::string HomeDir() const { return Home.Path() + "/"; }
    std::vector<std::string> Window() const { return {"--home", Home.Path()}; }
    std::string LogBase(const char* name) const { return Logs.Path() + "/" + name; }
    bool WindowUp() { return TWindowLock::IsHeld(HomeDir()); }
    // An inbox message without an index row, as a crash between the two writes leaves it.
    std::string PlantRowlessMessage() {
        const std::string inbox = FolderPath(HomeDir() + "Projects/", kDefaultProject, 111);
        fs::create_directories(inbox);
        EXPECT_TRUE(WriteFileAtomically(inbox + "_7.eml",
                                        "From: a@example.net\r\nSubject: lost row\r\n\r\nx\r\n"));
        return inbox + "tree.lst";
    }
    int IndexRows(const std::string& index) {
        TMessageList list;
        const TIndexLoad load = LoadIndex(index, list);
        return load.Ok ? load.Rows : -1;
    }

    pelmora::testing::TTempDir Home{"pelmora-instance-home"};
    pelmora::testing::TTempDir Logs{"pelmora-instance-logs"};
};

TEST_F(SingleInstanceTest, SecondWindowBringsTheFirstUpAndEnds) {
    TProgram first(Window(), LogBase("first"));
    ASSERT_TRUE(WaitFor([&] { return WindowUp(); })) << first.Err();
    // Let the first window finish its start before taking its picture of the files.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(first.Running()) << first.Err();
    const auto before = Snapshot(Home.Path());
    // The offscreen platform notes every raise() it is asked for.
    const int raisedBefore = Count(first.Err(), "raise()");

    const auto start = Clock::now();
    TProgram second(Window(), LogBase("second"));
    EXPECT_EQ(second.Wait(std::chrono::seconds(15)), 0) << second.Err();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(WaitFor([&] { return Count(first.Err(), "raise()") > raisedBefore; }))
        << first.Err();
    // The second start wrote nothing: no trees, settings or logs of its own.
    EXPECT_EQ(Snapshot(Home.Path()), before);

    // Once the first is gone a new start is a window again.
    first.Kill();
    ASSERT_TRUE(WaitFor([&] { return !WindowUp(); }));
    TProgram third(Window(), LogBase("third"));
    EXPECT_TRUE(WaitFor([&] { return WindowUp(); }));
    EXPECT_TRUE(third.Running()) << third.Err();
}

TEST_F(SingleInstanceTest, CollectBesideAWindowLeavesItsIndexesAlone) {
    TProgram window(Window(), LogBase("window"));
    ASSERT_TRUE(WaitFor([&] { return WindowUp(); })) << window.Err();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const std::string index = PlantRowlessMessage();
    const int rows = IndexRows(index);

    TProgram collect({"--collect", "--home", Home.Path()}, LogBase("collect"));
    EXPECT_NE(collect.Wait(std::chrono::seconds(30)), -2) << collect.Err();
    EXPECT_EQ(IndexRows(index), rows);
    EXPECT_TRUE(window.Running());
    EXPECT_TRUE(WindowUp());

    // Without a window the unattended run mends the folder as a start does.
    window.Kill();
    ASSERT_TRUE(WaitFor([&] { return !WindowUp(); }));
    TProgram alone({"--collect", "--home", Home.Path()}, LogBase("alone"));
    EXPECT_NE(alone.Wait(std::chrono::seconds(30)), -2) << alone.Err();
    EXPECT_EQ(IndexRows(index), rows < 0 ? 1 : rows + 1);
}

TEST_F(SingleInstanceTest, WindowBesideAnUnattendedRunLeavesItsIndexesAlone) {
    const std::string index = PlantRowlessMessage();
    {
        // The transfer lock as a "--collect" run in the middle of its work holds it.
        const auto running = TTransferLock::TryTake(HomeDir());
        ASSERT_TRUE(running);
        TProgram window(Window(), LogBase("window"));
        ASSERT_TRUE(WaitFor([&] { return WindowUp(); })) << window.Err();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_EQ(IndexRows(index), -1);
    }
    TProgram window(Window(), LogBase("window2"));
    ASSERT_TRUE(WaitFor([&] { return WindowUp(); })) << window.Err();
    EXPECT_TRUE(WaitFor([&] { return IndexRows(index) == 1; }));
}

} // namespace
} // namespace pelmora
