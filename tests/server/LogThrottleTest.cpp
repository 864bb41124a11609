#include "LogThrottle.h"

#include <gtest/gtest.h>

using corvala::signal::LogThrottle;
using namespace std::chrono_literals;

namespace {

TEST(LogThrottle, WritesALimitedNumberPerSecondAndTellsHowManyItHeldBack) {
    LogThrottle throttle(2);
    const auto t0 = LogThrottle::Clock::now();
    std::size_t heldBack = 99;
    EXPECT_TRUE(throttle.allow(t0, heldBack));
    EXPECT_EQ(heldBack, 0u);
    EXPECT_TRUE(throttle.allow(t0 + 100ms, heldBack));
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(throttle.allow(t0 + 200ms, heldBack));
    EXPECT_TRUE(throttle.allow(t0 + 1200ms, heldBack));
    EXPECT_EQ(heldBack, 5u);
    EXPECT_TRUE(throttle.allow(t0 + 1300ms, heldBack));
    EXPECT_EQ(heldBack, 0u);
}

}  // namespace
