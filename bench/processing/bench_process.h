#pragma once
// Running the programs a benchmark compares, and summing up their times: every run is a child
// process whose wall time and CPU time (user + system, from its own resource usage) are
// taken; a measure keeps the runs of one side and reports their median and spread.

#include <string>
#include <vector>

namespace pelmora::bench {

struct TCommand {
    std::vector<std::string> Argv;
    std::vector<std::string> Env; // added to this program's environment
    std::string In = "/dev/null";
    std::string Out = "/dev/null";
    std::string Err = "/dev/null";
};

struct TRunTimes {
    int Status = -1;  // exit status; -1 when it could not be started, 128 + N on signal N
    double Wall = -1;    // seconds from start to exit
    double Cpu = -1;     // user + system seconds of the process and its waited-for children
};

// Runs a command to its end.
TRunTimes RunTimed(const TCommand& command);

// The runs of one side of a comparison.
struct TSamples {
    std::vector<double> Wall;
    std::vector<double> Cpu;
    void Add(double wall, double cpu) {
        Wall.push_back(wall);
        Cpu.push_back(cpu);
    }
    bool Complete(std::size_t rounds) const;
};

double Median(std::vector<double> values);
double Smallest(const std::vector<double>& values);
double Largest(const std::vector<double>& values);

// Prints the comparison of two sides, wall and CPU: each side's median with its spread
// (smallest - largest of the runs) and the ratio of the medians (ours / peer). With a target
// above 0, each ratio is judged against it ("met" when ratio <= target). False when a side
// has a failed run (nothing is judged then).
bool PrintComparison(const std::string& measure, const TSamples& ours, const std::string& peer,
                     const TSamples& theirs, double target);

} // namespace pelmora::bench
