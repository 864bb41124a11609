#include "TurnCheck.h"

#include <gtest/gtest.h>

using namespace corvala::web;
using namespace std::chrono_literals;

namespace {

TEST(TurnCheckParsing, AcceptsOnlyDottedQuadUnicast) {
    EXPECT_EQ(ParseIPv4Unicast("203.0.113.7"), 0xCB007107u);
    EXPECT_EQ(ParseIPv4Unicast("127.0.0.1"), 0x7F000001u);
    for (const char* bad : {"", "0.0.0.0", "0.1.2.3", "224.0.0.1", "239.255.255.250", "240.0.0.1",
                            "255.255.255.255", "127.1", "1.2.3.4.5", "01.2.3.4x", " 1.2.3.4", "::1",
                            "::ffff:1.2.3.4", "example.com", "1.2.3.256"})
        EXPECT_FALSE(ParseIPv4Unicast(bad)) << bad;
}

TEST(TurnCheckParsing, PortIsStrictDecimal) {
    EXPECT_EQ(ParsePort("1"), 1);
    EXPECT_EQ(ParsePort("65535"), 65535);
    for (const char* bad : {"", "0", "65536", "-1", "+5", "5a", " 5", "99999999999"})
        EXPECT_FALSE(ParsePort(bad)) << bad;
}

TEST(RateLimiter, BurstThenRefillPerCaller) {
    RateLimiter limiter(1.0, 2);  // one per second, two at once
    const auto t0 = RateLimiter::Clock::time_point{} + 1h;
    EXPECT_TRUE(limiter.allow("a", t0));
    EXPECT_TRUE(limiter.allow("a", t0));
    EXPECT_FALSE(limiter.allow("a", t0));
    EXPECT_TRUE(limiter.allow("b", t0));  // callers do not share a bucket
    EXPECT_FALSE(limiter.allow("a", t0 + 500ms));
    EXPECT_TRUE(limiter.allow("a", t0 + 1500ms));
    EXPECT_FALSE(limiter.allow("a", t0 + 1500ms));
    // Never more than the burst, however long the caller waited.
    EXPECT_TRUE(limiter.allow("a", t0 + 1h));
    EXPECT_TRUE(limiter.allow("a", t0 + 1h));
    EXPECT_FALSE(limiter.allow("a", t0 + 1h));
}

TEST(RateLimiter, ManyCallersDoNotGrowTheTableWithoutBound) {
    RateLimiter limiter(1.0, 1);
    auto t = RateLimiter::Clock::time_point{} + 1h;
    for (int i = 0; i < 20000; ++i) {
        EXPECT_TRUE(limiter.allow(std::to_string(i), t));
        t += 10ms;
    }
    // The early callers' buckets refilled and were forgotten; a caller that
    // just used its token is still held to it.
    EXPECT_FALSE(limiter.allow("19999", t));
}

}  // namespace
