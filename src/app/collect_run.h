#pragma once
// "pelmora --collect [--account N] [--send-only]": the unattended transfer run without a
// window. It takes the data home's transfer lock, runs what the collection timer runs (or one
// account's retrieve and send; with --send-only the sending alone, as "Send Mail for this
// Account" does, without signing in to the mailbox), prints the session log to standard output and returns 0, or 1 when the
// run counted errors, could not start or found another transfer of the data home running.
//
// The run needs no window library: it is the core driven through a console user interface,
// so a timer that starts it every few minutes pays for no more than the core.

#include <optional>
#include <string>
#include <vector>

namespace pelmora {

struct TCollectOptions {
    std::string ProgramDir;     // the data home, ending in "/"
    std::optional<int> Account; // --account N; all active accounts without it
    bool SendOnly = false;      // --send-only: queued mail is sent, none retrieved
};

// The collect options of a command line.
struct TCollectCommand {
    bool Collect = false;       // --collect was given
    std::optional<int> Account; // --account N
    bool SendOnly = false;      // --send-only
    std::string Error;          // why the options are unusable; empty when they are fine
};

// Takes "--collect", "--account N" and "--send-only" out of `arguments`. "--account" without a
// number (or with a negative or malformed one), and "--account" or "--send-only" without
// "--collect", give an Error.
TCollectCommand TakeCollectOptions(std::vector<std::string>& arguments);

int RunCollect(const TCollectOptions& options);

struct TStartArguments;

// The collect run of a command line, when it asks for one: takes the collect options out of
// args.Others and gives the run's exit status (1 for unusable options, with a message);
// nothing when the command line is not a collect run.
std::optional<int> RunCollectIfAsked(TStartArguments& args);

} // namespace pelmora
