#include "relay/PortMapper.h"

#include "relay/PortForwarding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <string>

namespace corvala {
namespace {

const QString Here = QStringLiteral("192.168.1.20");
const QString Elsewhere = QStringLiteral("192.168.1.99");

// A router's table in memory that records what it is told.
class FakeRouter : public IRouter {
public:
    RouterMappings::Status status = RouterMappings::Status::Listed;
    std::vector<RouterMapping> entries;
    std::set<int> refusedPorts;  // adding a mapping of these fails
    std::vector<std::string> calls;

    RouterMappings Mappings() override {
        RouterMappings table{status, {}};
        if (status == RouterMappings::Status::Listed) table.entries = entries;
        return table;
    }
    QString LanAddress() override { return status == RouterMappings::Status::NoRouter ? QString("10.0.0.5") : Here; }
    bool AddMapping(int port, const QString& protocol, int internalPort, const QString& client,
                    const QString& description) override {
        calls.push_back("add " + std::to_string(port) + " " + protocol.toStdString() + " " +
                        client.toStdString() + ":" + std::to_string(internalPort) + " " +
                        description.toStdString());
        if (status != RouterMappings::Status::Listed || refusedPorts.count(port)) return false;
        entries.push_back({port, protocol, client, internalPort});
        return true;
    }
    bool RemoveMapping(int port, const QString& protocol) override {
        calls.push_back("remove " + std::to_string(port) + " " + protocol.toStdString());
        const auto before = entries.size();
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const RouterMapping& m) {
                                         return m.externalPort == port && m.protocol == protocol;
                                     }),
                      entries.end());
        return entries.size() != before;
    }
};

std::vector<RouterMapping> Both(int port, const QString& client, int internalPort = RelayLocalPort) {
    return {{port, "TCP", client, internalPort}, {port, "UDP", client, internalPort}};
}

std::vector<std::string> AddsFor(int port) {
    const std::string p = std::to_string(port);
    return {"add " + p + " TCP 192.168.1.20:3478 Corvala", "add " + p + " UDP 192.168.1.20:3478 Corvala"};
}

struct EnsureCase {
    const char* name;
    RouterMappings::Status status;
    std::vector<RouterMapping> table;
    std::set<int> refused;
    int storedPort;
    bool expectedResult;
    int expectedPort;
    std::vector<std::string> expectedCalls;
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> RemoveBoth6000 = {"remove 6000 TCP", "remove 6000 UDP"};
constexpr int RandomDraw = 123;  // the fake random source's answer

const EnsureCase EnsureCases[] = {
    {"stored port mapped here: nothing removed or added", RouterMappings::Status::Listed, Both(6000, Here), {}, 6000,
     true, 6000, {}},
    {"stored port mapped elsewhere: removed and added for this host", RouterMappings::Status::Listed,
     Both(6000, Elsewhere), {}, 6000, true, 6000, Concat(RemoveBoth6000, AddsFor(6000))},
    {"stored port mapped for TCP only: both re-added", RouterMappings::Status::Listed,
     {{6000, "TCP", Here, RelayLocalPort}}, {}, 6000, true, 6000, Concat(RemoveBoth6000, AddsFor(6000))},
    {"stored port mapped here to another local port: re-added", RouterMappings::Status::Listed,
     Both(6000, Here, 8080), {}, 6000, true, 6000, Concat(RemoveBoth6000, AddsFor(6000))},
    {"stored port, router refuses the new mapping: false, port kept", RouterMappings::Status::Listed, {}, {6000},
     6000, false, 6000, Concat(RemoveBoth6000, {AddsFor(6000)[0]})},
    {"stored port, no router: false, port kept", RouterMappings::Status::NoRouter, {}, {}, 6000, false, 6000,
     Concat(RemoveBoth6000, {"add 6000 TCP 10.0.0.5:3478 Corvala"})},
    {"empty table: the first candidate", RouterMappings::Status::Listed, {}, {}, 0, true, 5501, AddsFor(5501)},
    {"5501 taken by another client: 5502", RouterMappings::Status::Listed, Both(5501, Elsewhere), {}, 0, true, 5502,
     AddsFor(5502)},
    {"5501 taken for UDP only, 5502 by us: 5503", RouterMappings::Status::Listed,
     [] {
         auto t = Both(5502, Here);
         t.push_back({5501, "UDP", Elsewhere, 9});
         return t;
     }(),
     {}, 0, true, 5503, AddsFor(5503)},
    {"first free candidate refused: search ends, random port", RouterMappings::Status::Listed, Both(5501, Elsewhere),
     {5502}, 0, false, 5500 + RandomDraw, {AddsFor(5502)[0]}},
    {"no router: one attempt, then a random port", RouterMappings::Status::NoRouter, {}, {}, 0, false,
     5500 + RandomDraw, {"add 5501 TCP 10.0.0.5:3478 Corvala"}},
    {"router fails while listing: nothing added, random port", RouterMappings::Status::Failed, {}, {}, 0, false,
     5500 + RandomDraw, {}},
};

void PrintTo(const EnsureCase& c, std::ostream* os) { *os << c.name; }

class EnsurePortMapping : public ::testing::TestWithParam<EnsureCase> {};

TEST_P(EnsurePortMapping, DecidesAsTheTableSays) {
    const EnsureCase& c = GetParam();
    FakeRouter router;
    router.status = c.status;
    router.entries = c.table;
    router.refusedPorts = c.refused;
    int randomBound = 0;
    PortMapper mapper(router, [&](int n) {
        randomBound = n;
        return RandomDraw;
    });
    int port = c.storedPort;
    EXPECT_EQ(mapper.Ensure(port), c.expectedResult);
    EXPECT_EQ(port, c.expectedPort);
    EXPECT_EQ(router.calls, c.expectedCalls);
    if (c.storedPort == 0 && !c.expectedResult) {
        EXPECT_EQ(randomBound, PortMapper::FallbackCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EnsurePortMapping, ::testing::ValuesIn(EnsureCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
                             return name;
                         });

TEST(EnsurePortMappingCandidates, EveryCandidateTakenLeavesARandomPort) {
    FakeRouter router;
    for (int p = PortMapper::FirstCandidate; p <= PortMapper::LastCandidate; ++p)
        router.entries.push_back({p, "TCP", Elsewhere, RelayLocalPort});
    PortMapper mapper(router, [](int n) { return n - 1; });
    int port = 0;
    EXPECT_FALSE(mapper.Ensure(port));
    EXPECT_EQ(port, 5999);
    EXPECT_TRUE(router.calls.empty());
}

}  // namespace
}  // namespace corvala
