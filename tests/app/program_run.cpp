#include "program_run.h"

#include "support/temp_dir.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string_view>
#include <thread>

extern char** environ;

namespace pelmora::testing {

TArgv::TArgv(const std::string& program, const std::vector<std::string>& arguments)
    : Strings{program} {
    Strings.insert(Strings.end(), arguments.begin(), arguments.end());
    for (std::string& arg : Strings)
        Pointers.push_back(arg.data());
    Pointers.push_back(nullptr);
}

int SpawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& outPath, const std::string& errPath) {
    TArgv argv(program, arguments);
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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv.Data()[0], &actions, nullptr, argv.Data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& scratch) {
    const std::string out = scratch + "/out.txt";
    const std::string err = scratch + "/err.txt";
    TProgramRun run;
    const pid_t pid = SpawnProgram(program, arguments, out, err);
    if (pid < 0)
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

} // namespace pelmora::testing
