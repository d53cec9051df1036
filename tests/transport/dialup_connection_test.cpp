#include "transport/dialup_connection.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(DialupConnectionTest, DialsOnceAndHangsUpOnce) {
    DialupConnection dialup;
    EXPECT_FALSE(dialup.Active());
    EXPECT_EQ(dialup.Error, 6); // nothing dialled yet
    dialup.Dail = FORCE_UNATTENDED;
    dialup.SetActive(true);
    dialup.SetActive(true);
    EXPECT_TRUE(dialup.Active());
    EXPECT_EQ(dialup.Error, 0);
    EXPECT_EQ(dialup.DialCount(), 1);
    EXPECT_TRUE(dialup.IsOnline());
    dialup.SetActive(false);
    dialup.SetActive(false);
    EXPECT_FALSE(dialup.Active());
    EXPECT_EQ(dialup.Error, 0);
    EXPECT_EQ(dialup.HangUpCount(), 1);
}

} // namespace
} // namespace pelmora
