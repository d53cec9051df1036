#pragma once
// TChildProcess: a server started for a test, in its own process group with its output in a
// log file, stopped (SIGTERM to the group, SIGKILL after a grace time) and reaped when the
// object goes, so no test leaves a process behind. Also: picking a free loopback port and
// waiting until a port accepts connections.

#include <string>
#include <sys/types.h>
#include <vector>

namespace pelmora::testing {

class TChildProcess {
public:
    TChildProcess() = default;
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Starts program with arguments (argv[0] included); output goes to logPath.
    bool Start(const std::vector<std::string>& argv, const std::string& logPath);
    // Stops the whole process group and reaps the child.
    void Stop();
    bool Running();
    pid_t Pid() const { return ChildPid; }

private:
    pid_t ChildPid = -1;
};

// A loopback port that was free a moment ago (bound to port 0 and released).
int PickFreePort();
// True once 127.0.0.1:port accepts a connection, false after timeoutMs.
bool WaitForPort(int port, int timeoutMs);
// The same, giving up at once when the server process has ended.
bool WaitForServer(TChildProcess& process, int port, int timeoutMs);

} // namespace pelmora::testing
