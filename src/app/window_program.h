#pragma once
// Pelmora is two executables side by side in one directory: "pelmora", which the user, the
// desktop entry and timers start, runs an unattended "--collect" itself and hands every other
// start to "pelmora-window", which holds the windows. The unattended run thus never loads the
// window libraries, whose loading alone costs more than a small run's work.
//
// The executables find each other through the directory of the running executable
// (/proc/self/exe, links resolved), so a link to "pelmora" from anywhere works.

#include <string>

namespace pelmora {

inline constexpr char kLauncherProgramName[] = "pelmora";
inline constexpr char kWindowProgramName[] = "pelmora-window";

// The directory of the running executable, ending in "/"; empty when it cannot be told.
std::string OwnProgramDir();

// Replaces this process with the window program beside it, passing argv[1...] unchanged. It
// only returns when that fails: it then has told why on standard error and returns the exit
// status for it (127 when the window program is missing, 126 when it cannot be run).
int StartWindowProgram(char** argv);

// The command that starts Pelmora as users start it: the launcher beside the running
// executable when there is one, else the running executable itself.
std::string LauncherProgramPath();

} // namespace pelmora
