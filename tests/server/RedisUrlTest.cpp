#include "ServerOptions.h"

#include <gtest/gtest.h>

using corvala::signal::ParseRedisUrl;

namespace {

TEST(RedisUrl, HostAndPortOrNothing) {
    struct Case {
        const char* url;
        const char* host;  // nullptr: refused
        std::uint16_t port;
    };
    for (const Case c : {Case{"redis://127.0.0.1:6390", "127.0.0.1", 6390}, Case{"redis://localhost", "localhost", 6379},
                         Case{"10.0.0.5:7000/", "10.0.0.5", 7000}, Case{"redis://", nullptr, 0},
                         Case{"redis://h:0", nullptr, 0}, Case{"redis://h:65536", nullptr, 0},
                         Case{"redis://h:12x", nullptr, 0}, Case{"redis://user@h:1", nullptr, 0},
                         Case{"http://h:1", nullptr, 0}}) {
        const auto a = ParseRedisUrl(c.url);
        if (!c.host) {
            EXPECT_FALSE(a) << c.url;
            continue;
        }
        ASSERT_TRUE(a) << c.url;
        EXPECT_EQ(a->host, c.host);
        EXPECT_EQ(a->port, c.port) << c.url;
    }
}

}  // namespace
