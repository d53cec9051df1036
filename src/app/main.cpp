// The pelmora executable, the one users, desktop entries and timers start. It links the core
// only: "--collect [--account N] [--send-only]" runs the unattended transfer here
// (collect_run.h), and every other start becomes the window program beside it
// (window_program.h) with the same arguments, in the same process.
//
// The data home is $PELMORA_HOME, --home DIR, else the XDG data directory.

#include "collect_run.h"
#include "shell/directories.h"
#include "window_program.h"


int main(int argc, char** argv) {
    using namespace pelmora;
    TStartArguments args = ParseStartArguments(argc, argv);
    if (const std::optional<int> status = RunCollectIfAsked(args))
        return *status;
    return StartWindowProgram(argv);
}
