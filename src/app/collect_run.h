#pragma once
// "pelmora --collect [--account N]": the unattended transfer run without a window. It takes
// the data home's transfer lock, runs what the collection timer runs (or one account's
// retrieve and send), prints the session log to standard output and returns 0, or 1 when the
// run counted errors, could not start or found another transfer of the data home running.

#include <optional>
#include <string>

namespace pelmora {

struct TCollectOptions {
    std::string ProgramDir;     // the data home, ending in "/"
    std::optional<int> Account; // --account N; all active accounts without it
};

int RunCollect(const TCollectOptions& options);

} // namespace pelmora
