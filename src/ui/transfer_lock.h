#pragma once
// The lock that keeps two transfer runs on one data home apart: the window's runs and the
// unattended "--collect" run of another process take it for as long as they run.

#include <QLockFile>
#include <QString>

#include <memory>
#include <string>

namespace pelmora {

// data home + "transfer.lock".
QString TransferLockPath(const std::string& programDir);

// Takes the lock at once or not at all; null when another process holds it. A lock left by
// a process that no longer exists is taken over.
std::unique_ptr<QLockFile> TryTransferLock(const std::string& programDir);

} // namespace pelmora
