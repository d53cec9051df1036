#pragma once
// Starts a program of ours as a child process the way users and their timers do, with its
// standard output and error written to files, and waits for it.

#include <string>
#include <vector>

namespace pelmora::testing {

struct TProgramRun {
    int ExitCode = -1; // -1: did not end by itself (killed by a signal or after the time)
    std::string Out;
    std::string Err;
};

// The argument vector of a start of `program`: its path, then the arguments, as exec takes it.
class TArgv {
public:
    TArgv(const std::string& program, const std::vector<std::string>& arguments);
    TArgv(const TArgv&) = delete; // the pointers point into the strings
    TArgv& operator=(const TArgv&) = delete;
    char** Data() { return Pointers.data(); }

private:
    std::vector<std::string> Strings;
    std::vector<char*> Pointers;
};

// Starts `program` with the arguments, its output going to the files outPath and errPath.
// Without a display the window platform is "offscreen", and $PELMORA_HOME of the test's
// environment is not passed on. The child's process id, or -1 when it did not start.
int SpawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& outPath, const std::string& errPath);

// Runs `program` with the arguments as SpawnProgram starts it; output goes to out.txt and err.txt in the scratch
// directory. A run longer than a minute is killed.
TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& scratch);

} // namespace pelmora::testing
