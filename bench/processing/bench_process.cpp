#include "bench_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace pelmora::bench {

TRunTimes RunTimed(const TCommand& command) {
    std::vector<char*> argv;
    for (const std::string& arg : command.Argv)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e)
        envp.push_back(*e);
    for (const std::string& e : command.Env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, command.In.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, command.Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, command.Err.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    TRunTimes times;
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return times;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    times.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    times.Cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    times.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return times;
}

bool TSamples::Complete(std::size_t rounds) const {
    if (Wall.size() < rounds || Cpu.size() < rounds)
        return false;
    for (double value : Wall)
        if (value < 0)
            return false;
    for (double value : Cpu)
        if (value < 0)
            return false;
    return true;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Smallest(const std::vector<double>& values) {
    return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
}

double Largest(const std::vector<double>& values) {
    return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

namespace {

void PrintLine(const char* kind, const std::vector<double>& ours, const std::string& peer,
               const std::vector<double>& theirs, double target) {
    const double ratio = Median(ours) / Median(theirs);
    std::string verdict;
    if (target > 0) {
        char text[48];
        std::snprintf(text, sizeof text, "  target <= %.1f: %s", target,
                      ratio <= target ? "met" : "NOT met");
        verdict = text;
    }
    std::printf("  %-4s pelmora %7.3f s (%.3f-%.3f)  %-18s %7.3f s (%.3f-%.3f)  ratio %5.2f%s\n",
                kind, Median(ours), Smallest(ours), Largest(ours), peer.c_str(), Median(theirs),
                Smallest(theirs), Largest(theirs), ratio, verdict.c_str());
}

} // namespace

bool PrintComparison(const std::string& measure, const TSamples& ours, const std::string& peer,
                     const TSamples& theirs, double target) {
    std::printf("%s (median of %zu runs each, spread in brackets)\n", measure.c_str(),
                ours.Wall.size());
    if (!ours.Complete(1) || !theirs.Complete(1) || ours.Wall.size() != theirs.Wall.size()) {
        std::printf("  a run failed: no ratio\n");
        std::fflush(stdout);
        return false;
    }
    PrintLine("wall", ours.Wall, peer, theirs.Wall, target);
    PrintLine("cpu", ours.Cpu, peer, theirs.Cpu, target);
    std::fflush(stdout);
    return true;
}

} // namespace pelmora::bench
