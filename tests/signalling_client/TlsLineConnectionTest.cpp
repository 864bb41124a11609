// The program's TLS client on its own: how deep a server chain it accepts
// (the signalling server's chain verifies at depth 2, counted as leaf, one
// intermediate and the root) and which protocol versions it speaks.
#include "FakeTlsServer.h"
#include "ServerProcess.h"

#include "signalling/TlsLineConnection.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace corvala;
using namespace corvala::testing;
using namespace std::chrono_literals;

namespace {

struct ChainCase {
    const char* name;
    std::string chain;  // PKI file names without extension: chain and key
    std::string root;
    bool accepted;
    friend void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.name; }
};

class ChainDepth : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ChainDepth, CrsignalsChainIsAcceptedUpToOneIntermediate) {
    const ChainCase& c = GetParam();
    ServerProcess server("crsignal", {"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile(c.chain + ".pem"),
                                      "--key", PkiFile(c.chain + ".key")});
    ASSERT_NE(server.port(), 0);
    TlsLineConnection connection;
    const bool connected =
        connection.connect(u"127.0.0.1"_qs, server.port(), QString::fromStdString(PkiFile(c.root)), 10s);
    ASSERT_EQ(connected, c.accepted) << connection.error().toStdString();
    if (connected) {
        ASSERT_TRUE(connection.writeLine(R"({"msg":"join","from":"1","payload":"1"})", 10s));
        const auto answer = connection.readLine();
        ASSERT_EQ(answer.kind, TlsLineConnection::ReadResult::Line);
        EXPECT_TRUE(answer.line.contains("\"joined\"")) << answer.line.toStdString();
    } else {
        EXPECT_TRUE(connection.error().contains(u"certificate")) << connection.error().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signalling, ChainDepth,
    ::testing::Values(ChainCase{"leaf_under_the_root", "server", "ca.pem", true},
                      ChainCase{"one_intermediate", "chains/chain1", "chains/chain-root.pem", true},
                      ChainCase{"two_intermediates", "chains/chain2", "chains/chain-root.pem", false},
                      ChainCase{"three_intermediates", "chains/chain3", "chains/chain-root.pem", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TlsVersion, AServerThatSpeaksOnlyTls13IsRefused) {
    FakeTlsServer server(PkiFile("server.pem"), PkiFile("server.key"), [](FakeTlsPeer&, int) {}, TLS1_3_VERSION);
    TlsLineConnection connection;
    EXPECT_FALSE(connection.connect(u"127.0.0.1"_qs, server.port(), QString::fromStdString(PkiFile("ca.pem")), 10s));
    EXPECT_TRUE(connection.error().contains(u"handshake")) << connection.error().toStdString();
    EXPECT_EQ(server.accepted(), 0);
    EXPECT_EQ(connection.writeLine("p", 1s), false);
}

}  // namespace
