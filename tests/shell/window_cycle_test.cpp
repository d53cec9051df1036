#include "shell/window_cycle.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(WindowCycleTest, PressesFromTheMainWindowVisitEveryListedWindow) {
    int a = 0, b = 0, c = 0, mainWindow = 0;
    const std::vector<const void*> listed{&a, &b, &c};
    const void* last = nullptr;
    std::vector<const void*> shown;
    for (int press = 0; press < 4; ++press) {
        // The main window keeps the focus: the shortcut is pressed there every time.
        const std::optional<std::size_t> next = NextWindowInCycle(listed, &mainWindow, last);
        ASSERT_TRUE(next);
        last = listed[*next];
        shown.push_back(last);
    }
    EXPECT_EQ(shown, (std::vector<const void*>{&a, &b, &c, &a}));
}

TEST(WindowCycleTest, ActiveListedWindowLeadsAndGoneWindowsRestart) {
    int a = 0, b = 0, c = 0, closed = 0;
    const std::vector<const void*> listed{&a, &b, &c};
    EXPECT_EQ(NextWindowInCycle(listed, &c, &a), 0u);  // after the active one, wrapping
    EXPECT_EQ(NextWindowInCycle(listed, &b, nullptr), 2u);
    EXPECT_EQ(NextWindowInCycle(listed, nullptr, &closed), 0u); // last shown was closed
    EXPECT_EQ(NextWindowInCycle({}, &a, &b), std::nullopt);
    EXPECT_EQ(NextWindowInCycle({&a}, &a, &a), 0u);
}

} // namespace
} // namespace pelmora
