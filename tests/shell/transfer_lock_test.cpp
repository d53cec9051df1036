// The transfer lock of a data home: one holder at a time, in this process or another, and
// free again as soon as its holder lets go or dies.

#include "shell/transfer_lock.h"
#include "shell/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora {
namespace {

using testing::TTempDir;

TEST(TransferLockTest, OneHolderAtATimeInOneProcess) {
    TTempDir home;
    const std::string dir = home.Path();
    auto first = TTransferLock::TryTake(dir);
    ASSERT_TRUE(first);
    EXPECT_FALSE(TTransferLock::TryTake(dir));
    EXPECT_FALSE(TTransferLock::IsFree(dir));
    first.reset();
    EXPECT_TRUE(TTransferLock::IsFree(dir));
    EXPECT_TRUE(TTransferLock::TryTake(dir));
}

TEST(TransferLockTest, AnotherProcessHoldsItUntilItIsKilled) {
    TTempDir home;
    const std::string dir = home.Path();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto lock = TTransferLock::TryTake(dir);
        const char answer = lock ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause(); // holds the lock until killed
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    EXPECT_FALSE(TTransferLock::TryTake(dir));
    // A holder that dies without cleaning up leaves no lock behind.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(TTransferLock::TryTake(dir));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(TransferLockTest, LeftOverLockFileDoesNotBlock) {
    TTempDir home;
    const std::string dir = home.Path();
    // What an older version or a crashed run may have left: a file naming a holder.
    std::ofstream(TTransferLock::PathIn(dir)) << "4242\nsomehost\n";
    EXPECT_TRUE(TTransferLock::TryTake(dir));
}

} // namespace
} // namespace pelmora
