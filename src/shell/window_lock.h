#pragma once
// The lock that marks a window open on a data home: the window holds an exclusive advisory
// lock (flock) on "pelmora.instance" in the data home for as long as it runs. The system lets
// it go when the window ends in any way. An unattended "--collect" run only asks whether the
// lock is held and then keeps away from everything the window may be rewriting; it needs no
// window library for that.

#include <string>

namespace pelmora {

class TWindowLock {
public:
    // data home + "pelmora.instance".
    static std::string PathIn(const std::string& programDir);
    // Opens (creating it 0600 when missing) the lock file for taking; -1 when it cannot be.
    static int OpenForTaking(const std::string& programDir);
    // Takes the lock on a descriptor from OpenForTaking at once or not at all.
    static bool TryTake(int descriptor);
    // True when a window holds the lock of programDir. Asking takes a shared lock and lets it
    // go at once, so it never blocks a window that is starting.
    static bool IsHeld(const std::string& programDir);
};

} // namespace pelmora
