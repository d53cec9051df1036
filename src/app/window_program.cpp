#include "window_program.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace pelmora {

namespace {

// The running executable's path, links resolved; empty when it cannot be told.
std::string OwnProgramPath() {
    std::vector<char> buffer(4096);
    while (buffer.size() <= (1u << 20)) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

} // namespace

std::string OwnProgramDir() {
    const std::string path = OwnProgramPath();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int StartWindowProgram(char** argv) {
    const std::string dir = OwnProgramDir();
    if (dir.empty()) {
        std::cerr << "pelmora: cannot tell where the program lies (/proc/self/exe: "
                  << std::strerror(errno) << "), so the window program cannot be found\n";
        return 127;
    }
    std::string window = dir + kWindowProgramName;
    std::vector<char*> arguments{window.data()};
    for (char** arg = argv + 1; *arg; ++arg)
        arguments.push_back(*arg);
    arguments.push_back(nullptr);
    ::execv(window.c_str(), arguments.data());
    const int error = errno;
    std::cerr << "pelmora: cannot start the window program " << window << ": "
              << std::strerror(error) << "\n";
    return error == ENOENT || error == ENOTDIR ? 127 : 126;
}

std::string LauncherProgramPath() {
    const std::string dir = OwnProgramDir();
    if (!dir.empty()) {
        const std::string launcher = dir + kLauncherProgramName;
        if (::access(launcher.c_str(), X_OK) == 0)
            return launcher;
    }
    return OwnProgramPath();
}

} // namespace pelmora
