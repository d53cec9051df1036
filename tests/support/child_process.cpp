#include "support/child_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pelmora::testing {

TChildProcess::~TChildProcess() {
    Stop();
}

bool TChildProcess::Start(const std::vector<std::string>& argv, const std::string& logPath) {
    if (argv.empty() || ChildPid > 0) {
        return false;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
            close(log);
        }
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0) {
            dup2(null, 0);
            close(null);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    setpgid(pid, pid);
    ChildPid = pid;
    return true;
}

bool TChildProcess::Running() {
    if (ChildPid <= 0) {
        return false;
    }
    int status = 0;
    pid_t done = waitpid(ChildPid, &status, WNOHANG);
    if (done == ChildPid) {
        ChildPid = -1;
        return false;
    }
    return true;
}

void TChildProcess::Stop() {
    if (ChildPid <= 0) {
        return;
    }
    kill(-ChildPid, SIGTERM);
    kill(ChildPid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        int status = 0;
        if (waitpid(ChildPid, &status, WNOHANG) == ChildPid) {
            // Helpers of the server in the same group go as well.
            kill(-ChildPid, SIGKILL);
            ChildPid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(-ChildPid, SIGKILL);
    int status = 0;
    waitpid(ChildPid, &status, 0);
    ChildPid = -1;
}

int PickFreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool WaitForPort(int port, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (ok) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

bool WaitForServer(TChildProcess& process, int port, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        if (WaitForPort(port, 100)) {
            return true;
        }
        if (!process.Running()) {
            return false;
        }
    }
    return false;
}

} // namespace pelmora::testing
