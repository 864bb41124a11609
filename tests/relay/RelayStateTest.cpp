// The relay's state without sockets: nonces, the allocation table's quotas,
// lifetimes and expiry, channel rules and rate, and which peers are reachable.
#include "AllocationTable.h"
#include "Credentials.h"
#include "PeerPolicy.h"
#include "RateBudget.h"

#include <gtest/gtest.h>

namespace corvala::relay {
namespace {

using namespace std::chrono_literals;

const Clock::time_point T0 = Clock::time_point() + 1000h;

Endpoint At(const char* address, std::uint16_t port) { return Endpoint(asio::ip::make_address(address), port); }
ClientKey Client(const char* address, std::uint16_t port, Transport t = Transport::Udp) { return {t, At(address, port)}; }

TEST(RelayCredentials, NoncesAreValidThenStaleAndOnlyOurOwn) {
    Credentials credentials(T0);
    const std::string nonce = credentials.issueNonce(T0 + 5s);
    EXPECT_EQ(credentials.check(nonce, T0 + 5s), Credentials::NonceState::Valid);
    EXPECT_EQ(credentials.check(nonce, T0 + 5s + Credentials::kNonceLifetime), Credentials::NonceState::Valid);
    EXPECT_EQ(credentials.check(nonce, T0 + 6s + Credentials::kNonceLifetime), Credentials::NonceState::Stale);

    Credentials other(T0);  // another secret: its nonces are not ours
    std::string forged = nonce;
    forged.back() = forged.back() == '0' ? '1' : '0';
    for (const std::string& foreign : {other.issueNonce(T0 + 5s), forged, nonce.substr(1), std::string("zzzzzzzz") + nonce.substr(8), std::string()}) {
        SCOPED_TRACE(foreign);
        EXPECT_EQ(credentials.check(foreign, T0 + 5s), Credentials::NonceState::Foreign);
    }
}

TEST(RelayCredentials, OnlyKnownUsersHaveKeys) {
    Credentials credentials(T0);
    credentials.addUser("alice", "secret");
    EXPECT_EQ(credentials.keyOf("alice"), LongTermKey("alice", Credentials::kRealm, "secret"));
    EXPECT_FALSE(credentials.keyOf("alic"));
    EXPECT_FALSE(credentials.keyOf("alice "));
    EXPECT_NE(LongTermKey("alice", Credentials::kRealm, "secret"), LongTermKey("alice", Credentials::kRealm, "secreT"));
}

TEST(AllocationTable, LifetimesStayWithinDefaultAndMaximum) {
    AllocationTable table(AllocationLimits{});
    const struct {
        std::optional<std::uint32_t> requested;
        std::chrono::seconds granted;
    } cases[] = {{std::nullopt, 600s}, {0, 600s}, {30, 600s}, {1200, 1200s}, {3600, 3600s}, {0xFFFFFFFF, 3600s}};
    for (const auto& c : cases) EXPECT_EQ(table.lifetimeFor(c.requested), c.granted) << (c.requested ? *c.requested : -1);
}

TEST(AllocationTable, QuotasPerUserAndInTotal) {
    AllocationLimits limits;
    limits.maxAllocations = 3;
    limits.perUser = 2;
    AllocationTable table(limits);
    const auto a1 = Client("192.0.2.1", 1000), a2 = Client("192.0.2.1", 1001), b1 = Client("192.0.2.2", 1000);
    ASSERT_EQ(table.check(a1, "alice"), AllocationTable::Refusal::None);
    table.add(a1, "alice", 50000, 600s, T0);
    EXPECT_EQ(table.check(a1, "alice"), AllocationTable::Refusal::Exists);
    // The same address over TCP is another client.
    EXPECT_EQ(table.check(Client("192.0.2.1", 1000, Transport::Tcp), "alice"), AllocationTable::Refusal::None);
    table.add(a2, "alice", 50002, 600s, T0);
    EXPECT_EQ(table.check(b1, "alice"), AllocationTable::Refusal::UserQuota);
    EXPECT_EQ(table.check(b1, "bob"), AllocationTable::Refusal::None);
    table.add(b1, "bob", 50004, 600s, T0);
    EXPECT_EQ(table.check(Client("192.0.2.3", 1), "carol"), AllocationTable::Refusal::TotalQuota);
    table.remove(a1);
    EXPECT_EQ(table.check(Client("192.0.2.3", 1), "alice"), AllocationTable::Refusal::None);
    EXPECT_EQ(table.ownerOfPort(50000), nullptr);
    ASSERT_NE(table.ownerOfPort(50004), nullptr);
    EXPECT_EQ(*table.ownerOfPort(50004), b1);
}

TEST(AllocationTable, ExpiryRemovesAllocationsAndStaleGrants) {
    AllocationTable table(AllocationLimits{});
    const auto shortLived = Client("192.0.2.1", 1000), longLived = Client("192.0.2.1", 1001);
    table.add(shortLived, "alice", 50000, 600s, T0);
    Allocation& kept = table.add(longLived, "alice", 50002, 3600s, T0);
    const auto peer = At("198.51.100.9", 7000);
    ASSERT_TRUE(kept.permit(peer.address(), T0 + 300s, 64));
    ASSERT_EQ(kept.bind(0x4000, peer, T0 + 600s, 64), Allocation::BindResult::Bound);

    std::vector<ClientKey> removed;
    const auto collect = [&](const ClientKey& k) { removed.push_back(k); };
    table.expire(T0 + 299s, collect);
    EXPECT_TRUE(removed.empty());
    EXPECT_TRUE(kept.permits(peer.address(), T0 + 299s));
    EXPECT_FALSE(kept.permits(peer.address(), T0 + 300s));  // a permission lasts 300 s unless refreshed
    table.expire(T0 + 600s, collect);
    EXPECT_EQ(removed, std::vector<ClientKey>{shortLived});
    EXPECT_EQ(table.find(shortLived), nullptr);
    EXPECT_EQ(table.ownerOfPort(50000), nullptr);
    EXPECT_EQ(kept.permissionCount(), 0u);
    EXPECT_EQ(kept.channelCount(), 0u);
    EXPECT_EQ(kept.peerOf(0x4000, T0 + 600s), std::nullopt);
    EXPECT_EQ(table.size(), 1u);
}

TEST(AllocationTable, ChannelBindingRules) {
    Allocation a("alice", 50000, T0 + 600s, 1e9, T0);
    const auto p1 = At("198.51.100.1", 7000), p2 = At("198.51.100.2", 7000), p1other = At("198.51.100.1", 7001);
    ASSERT_EQ(a.bind(0x4000, p1, T0 + 600s, 2), Allocation::BindResult::Bound);
    const struct {
        const char* name;
        std::uint16_t channel;
        Endpoint peer;
        Allocation::BindResult result;
    } cases[] = {
        {"refresh of the same binding", 0x4000, p1, Allocation::BindResult::Bound},
        {"channel bound to another peer", 0x4000, p2, Allocation::BindResult::ChannelTaken},
        {"another port of the peer is another peer", 0x4000, p1other, Allocation::BindResult::ChannelTaken},
        {"peer already on another channel", 0x4001, p1, Allocation::BindResult::PeerTaken},
        {"second channel", 0x4001, p2, Allocation::BindResult::Bound},
        {"beyond the cap", 0x4002, p1other, Allocation::BindResult::Full},
    };
    for (const auto& c : cases) EXPECT_EQ(a.bind(c.channel, c.peer, T0 + 600s, 2), c.result) << c.name;
    EXPECT_EQ(a.peerOf(0x4001, T0), p2);
    EXPECT_EQ(a.channelOf(p1, T0), 0x4000);
    EXPECT_EQ(a.channelOf(p1other, T0), std::nullopt);
}

TEST(AllocationTable, PermissionsAreCappedAndByAddressOnly) {
    Allocation a("alice", 50000, T0 + 600s, 1e9, T0);
    EXPECT_TRUE(a.permit(asio::ip::make_address("198.51.100.1"), T0 + 300s, 2));
    EXPECT_TRUE(a.permit(asio::ip::make_address("198.51.100.2"), T0 + 300s, 2));
    EXPECT_FALSE(a.permit(asio::ip::make_address("198.51.100.3"), T0 + 300s, 2));
    EXPECT_TRUE(a.permit(asio::ip::make_address("198.51.100.1"), T0 + 400s, 2)) << "a refresh is not a new one";
    EXPECT_TRUE(a.permits(asio::ip::make_address("198.51.100.1"), T0 + 350s));
    EXPECT_FALSE(a.permits(asio::ip::make_address("198.51.100.3"), T0));
}

TEST(AllocationTable, RateBudgetRefillsWithTime) {
    Allocation a("alice", 50000, T0 + 600s, 1000, T0);
    EXPECT_TRUE(a.spend(600, T0));
    EXPECT_TRUE(a.spend(400, T0));
    EXPECT_FALSE(a.spend(1, T0));
    EXPECT_FALSE(a.spend(600, T0 + 500ms));  // half a second brought 500 back
    EXPECT_TRUE(a.spend(500, T0 + 500ms));
    EXPECT_FALSE(a.spend(1001, T0 + 1h)) << "the budget never holds more than a second's worth";
    EXPECT_TRUE(a.spend(1000, T0 + 1h));
}

TEST(SourceBudgets, UnauthenticatedAnswersAreBoundedPerSourceAndInTotal) {
    SourceBudgets budgets(2, 5, 3, T0);
    const auto a = asio::ip::make_address("192.0.2.1"), b = asio::ip::make_address("192.0.2.2"),
               c = asio::ip::make_address("192.0.2.3"), d = asio::ip::make_address("192.0.2.4");
    EXPECT_TRUE(budgets.allow(a, T0));
    EXPECT_TRUE(budgets.allow(a, T0));
    EXPECT_FALSE(budgets.allow(a, T0)) << "a source's second's worth is spent";
    EXPECT_TRUE(budgets.allow(b, T0)) << "another source has its own budget";
    EXPECT_TRUE(budgets.allow(b, T0));
    EXPECT_TRUE(budgets.allow(c, T0));
    EXPECT_FALSE(budgets.allow(c, T0)) << "all sources together are spent";
    EXPECT_FALSE(budgets.allow(d, T0)) << "no room to track a fourth source while the others are fresh";
    EXPECT_EQ(budgets.tracked(), 3u);
    // A second later every budget is full again: the sources are forgotten for the new one.
    EXPECT_TRUE(budgets.allow(d, T0 + 1s));
    EXPECT_EQ(budgets.tracked(), 1u);
    EXPECT_TRUE(budgets.allow(a, T0 + 1s));
}

TEST(PeerPolicy, RefusesLoopbackUnspecifiedMulticastAndOwnAddresses) {
    const PeerPolicy policy({asio::ip::make_address("203.0.113.5"), asio::ip::make_address("192.168.1.10")});
    using V = PeerPolicy::Verdict;
    const struct {
        const char* address;
        V verdict;
    } cases[] = {
        {"198.51.100.7", V::Allowed},     {"10.1.2.3", V::Allowed},           {"127.0.0.1", V::Loopback},
        {"127.200.0.1", V::Loopback},     {"::ffff:127.0.0.1", V::Loopback},  {"0.0.0.0", V::Unspecified},
        {"0.1.2.3", V::Unspecified},      {"224.0.0.1", V::Multicast},        {"255.255.255.255", V::Multicast},
        {"240.0.0.1", V::Multicast},      {"203.0.113.5", V::Own},            {"::ffff:192.168.1.10", V::Own},
        {"::1", V::OtherFamily},          {"2001:db8::1", V::OtherFamily},
    };
    for (const auto& c : cases) EXPECT_EQ(policy.check(asio::ip::make_address(c.address)), c.verdict) << c.address;
}

}  // namespace
}  // namespace corvala::relay
