#include "RelayDirectory.h"

#include <gtest/gtest.h>

#include <set>

using corvala::signal::Relay;
using corvala::signal::RelayDirectory;

namespace {

std::string urlFor(RelayDirectory& d, std::string_view country) {
    const auto r = d.choose(country);
    return r ? r->url : std::string("none");
}

TEST(RelayDirectory, NothingAnnouncedOrConfiguredGivesNone) {
    RelayDirectory d;
    EXPECT_EQ(urlFor(d, "DE"), "none");
}

TEST(RelayDirectory, UnknownCountryMatchesNobodyButStillGetsARelay) {
    RelayDirectory d;
    d.announce(1, {"turn:a", "", "", "XX"});
    d.setConfigured({{"turn:cfg-xx", "", "", "XX"}});
    EXPECT_EQ(urlFor(d, "XX"), "turn:a");  // any announced relay, not a country match
    d.withdraw(1);
    EXPECT_EQ(urlFor(d, "xx"), "turn:cfg-xx");
}

TEST(RelayDirectory, ConfiguredRelaysPreferTheCountryToo) {
    RelayDirectory d;
    d.setConfigured({{"turn:cfg-fr", "", "", "FR"}, {"turn:cfg-de", "", "", "DE"}});
    EXPECT_EQ(urlFor(d, "DE"), "turn:cfg-de");
    EXPECT_EQ(urlFor(d, "fr"), "turn:cfg-fr");
}

TEST(RelayDirectory, ANewAnnouncementReplacesTheOwnersOlderOne) {
    RelayDirectory d;
    d.announce(7, {"turn:old", "", "", "DE"});
    d.announce(7, {"turn:new", "", "", "DE"});
    EXPECT_EQ(d.announcedCount(), 1u);
    EXPECT_EQ(urlFor(d, "DE"), "turn:new");
}

TEST(RelayDirectory, EqualCandidatesTakeTurns) {
    RelayDirectory d;
    d.announce(1, {"turn:a", "", "", "DE"});
    d.announce(2, {"turn:b", "", "", "DE"});
    d.announce(3, {"turn:c", "", "", "FR"});
    std::set<std::string> seen;
    for (int i = 0; i < 4; ++i) seen.insert(urlFor(d, "DE"));
    EXPECT_EQ(seen, (std::set<std::string>{"turn:a", "turn:b"}));
}

// Relays announced to other servers of a cluster rank with this server's own
// announcements, above the configured ones, and are replaced as a whole.
TEST(RelayDirectory, SharedRelaysCountAsAnnounced) {
    RelayDirectory d;
    d.setConfigured({{"turn:cfg-de", "", "", "DE"}});
    d.announce(1, {"turn:own-fr", "", "", "FR"});
    d.setShared({{"turn:other-de", "", "", "DE"}, {"turn:other-us", "", "", "US"}});
    EXPECT_EQ(urlFor(d, "de"), "turn:other-de");
    std::set<std::string> seen;
    for (int i = 0; i < 6; ++i) seen.insert(urlFor(d, "JP"));
    EXPECT_EQ(seen, (std::set<std::string>{"turn:own-fr", "turn:other-de", "turn:other-us"}));
    d.setShared({});
    EXPECT_EQ(urlFor(d, "DE"), "turn:own-fr");
    ASSERT_EQ(d.announced().size(), 1u);
    EXPECT_EQ(d.announced()[0].url, "turn:own-fr");
}

}  // namespace
