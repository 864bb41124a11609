// The real program keeps its signalling link: it joins the real crsignal
// over TLS under its DeviceId, joins again after the server restarts, and
// never joins a server whose certificate comes from another root.

#include <gtest/gtest.h>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"

namespace corvala::e2e {
namespace {

namespace fs = std::filesystem;
using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* ProgramId = "123456789";

class ProgramJoins : public ::testing::Test {
protected:
    void SetUp() override { WriteProgramSettings(scratch / "home", ProgramId); }
    void TearDown() override { KillProcessesRunningFrom(scratch / "home"); }

    std::unique_ptr<ServerProcess> StartSignal(const std::string& port, const char* chain, const char* key) {
        auto server = std::make_unique<ServerProcess>("crsignal", SignalServerArguments(port, chain, key));
        EXPECT_NE(server->port(), 0) << "crsignal did not start";
        return server;
    }

    std::unique_ptr<ChildProcess> StartProgram(std::uint16_t port) {
        return std::make_unique<ChildProcess>(
            HostCommand(), ProgramEnvironment(scratch.path(), port), scratch / "program.log");
    }

    bool ProgramJoined(std::uint16_t port) { return e2e::ProgramJoined(port, ProgramId, PkiFile("ca.pem")); }

    ScratchFolder scratch{"joins"};
};

TEST_F(ProgramJoins, JoinsUnderItsIdAndAgainAfterTheServerRestarts) {
    auto server = StartSignal("0", "server.pem", "server.key");
    const std::uint16_t port = server->port();
    auto program = StartProgram(port);
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(port); }, 30s)) << program->Log();

    server.reset();  // the link breaks; the program notices at its next keep-alive
    server = StartSignal(std::to_string(port), "server.pem", "server.key");
    // A keep-alive finds the dead link within one checker period, the next
    // period reconnects: two periods of 15 s, plus slack for a loaded machine.
    EXPECT_TRUE(WaitFor([&] { return ProgramJoined(port); }, 45s)) << program->Log();
    EXPECT_TRUE(program->Running());
}

TEST_F(ProgramJoins, NeverJoinsAServerCertifiedByAnotherRoot) {
    auto server = StartSignal("0", "other-server.pem", "other-server.key");
    const std::uint16_t port = server->port();
    auto program = StartProgram(port);
    // The first attempt comes at once and the next after 15 s: both refused.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    bool everJoined = false;
    while (std::chrono::steady_clock::now() < deadline) {
        // A probe that trusts this server's own root.
        if (e2e::ProgramJoined(port, ProgramId, PkiFile("other-ca.pem"))) everJoined = true;
    }
    EXPECT_FALSE(everJoined);
    EXPECT_TRUE(program->Running()) << program->Log();
}

}  // namespace
}  // namespace corvala::e2e
