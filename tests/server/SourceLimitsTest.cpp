// Per-source limits of crsignal: which addresses count as one source, the
// join token bucket, the connection count and forgetting idle sources.
#include "SourceLimits.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace corvala::signal;
using namespace std::chrono_literals;

namespace {

Source source(const char* address) { return SourceOf(asio::ip::make_address(address)); }

struct SourceCase {
    const char* a;
    const char* b;
    bool same;
    friend void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.a << " / " << c.b; }
};

class SourceGrouping : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourceGrouping, Ipv4ByAddressIpv6ByNetwork) {
    EXPECT_EQ(source(GetParam().a) == source(GetParam().b), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Signal, SourceGrouping,
    ::testing::Values(SourceCase{"192.0.2.1", "192.0.2.1", true}, SourceCase{"192.0.2.1", "192.0.2.2", false},
                      SourceCase{"192.0.2.1", "::ffff:192.0.2.1", true},
                      SourceCase{"2001:db8:1:2::1", "2001:db8:1:2:ffff:ffff:ffff:ffff", true},
                      SourceCase{"2001:db8:1:2::1", "2001:db8:1:3::1", false},
                      SourceCase{"::ffff:192.0.2.1", "::ffff:192.0.2.2", false}));

TEST(SourceText, NamesTheAddressOrTheNetwork) {
    EXPECT_EQ(SourceText(source("::ffff:192.0.2.7")), "192.0.2.7");
    EXPECT_EQ(SourceText(source("2001:db8:1:2:3:4:5:6")), "2001:db8:1:2::/64");
    EXPECT_EQ(SourceText(source("::1")), "::1");
}

TEST(SourceLimits, JoinsComeInABurstAndThenAtTheRefillRate) {
    SourceLimits limits({.maxConnections = 10, .joinBurst = 3, .joinsPerMinute = 30, .limitLoopback = false});
    const auto t0 = SourceClock::now();
    const Source a = source("192.0.2.1"), b = source("192.0.2.2");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(limits.admitJoin(a, t0)) << i;
    EXPECT_FALSE(limits.admitJoin(a, t0));
    EXPECT_TRUE(limits.admitJoin(b, t0)) << "another source has its own bucket";
    EXPECT_FALSE(limits.admitJoin(a, t0 + 1900ms));
    EXPECT_TRUE(limits.admitJoin(a, t0 + 2s)) << "30 a minute: one every two seconds";
    EXPECT_FALSE(limits.admitJoin(a, t0 + 2s));
    // Refused attempts cost nothing, and the bucket holds no more than the burst.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(limits.admitJoin(a, t0 + 1h)) << i;
    EXPECT_FALSE(limits.admitJoin(a, t0 + 1h));
}

TEST(SourceLimits, ConnectionsAreCountedPerSourceAndIdleSourcesForgotten) {
    SourceLimits limits({.maxConnections = 2, .joinBurst = 1, .joinsPerMinute = 60});
    const auto t0 = SourceClock::now();
    const Source a = source("2001:db8::1"), sameNetwork = source("2001:db8::2");
    EXPECT_TRUE(limits.admitConnection(a, t0));
    EXPECT_TRUE(limits.admitConnection(sameNetwork, t0));
    EXPECT_FALSE(limits.admitConnection(a, t0));
    limits.releaseConnection(a);
    EXPECT_TRUE(limits.admitConnection(sameNetwork, t0));

    limits.releaseConnection(a);
    limits.releaseConnection(a);
    limits.releaseConnection(a);  // one release too many changes nothing
    EXPECT_TRUE(limits.admitJoin(a, t0));
    limits.prune(t0 + 500ms);
    EXPECT_EQ(limits.sourceCount(), 1u) << "its join bucket is not full again yet";
    limits.prune(t0 + 1s);
    EXPECT_EQ(limits.sourceCount(), 0u);
    EXPECT_TRUE(limits.admitConnection(a, t0 + 1s));
    EXPECT_TRUE(limits.admitConnection(a, t0 + 1s));
    limits.prune(t0 + 1h);
    EXPECT_EQ(limits.sourceCount(), 1u) << "a source with connections stays";
}

TEST(SourceLimits, LoopbackIsExemptUnlessAskedOtherwise) {
    const auto t0 = SourceClock::now();
    for (const bool limitLoopback : {false, true}) {
        SourceLimits limits({.maxConnections = 1, .joinBurst = 1, .joinsPerMinute = 1, .limitLoopback = limitLoopback});
        for (const char* address : {"127.0.0.1", "127.8.9.10", "::1"}) {
            const Source s = source(address);
            EXPECT_TRUE(IsLoopback(s)) << address;
            EXPECT_TRUE(limits.admitConnection(s, t0));
            EXPECT_TRUE(limits.admitJoin(s, t0));
            EXPECT_EQ(limits.admitConnection(s, t0), !limitLoopback) << address;
            EXPECT_EQ(limits.admitJoin(s, t0), !limitLoopback) << address;
        }
        EXPECT_EQ(limits.sourceCount(), limitLoopback ? 3u : 0u);
        EXPECT_FALSE(IsLoopback(source("128.0.0.1")));
    }
}

}  // namespace
