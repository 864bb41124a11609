// crsignal's line reader and message handling. The server's handling is
// reached only through its connections (each owns a TLS session on a real
// socket), so the target runs the real server in this process on a loopback
// port and three joined TLS clients send it the input's lines.
//
// Input: lines; the first byte of each picks the client (mod 3), the rest is
// sent as it is with LF added. "@0", "@1" and "@2" stand for the clients'
// current IDs, so that messages reach a live peer. After the lines every
// client still connected asks for a relay and waits for its answer.
//
// Property: the server answers every connection it has not closed; a
// connection it closed comes back under a fresh ID.
#include "FuzzSupport.h"
#include "SignalServer.h"
#include "TlsLineClient.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace corvala {
namespace {

using namespace std::chrono_literals;
constexpr auto AnswerTimeout = 10s;
const std::string PkiDir = CORVALA_PKI_DIR;

struct Server {
    Server() {
        signal::ServerOptions options;
        options.bindAddress = "127.0.0.1";
        options.port = 0;
        options.certChainFile = PkiDir + "/server.pem";
        options.keyFile = PkiDir + "/server.key";
        options.relays = {{"turn:127.0.0.1:5501", "user", "secret", "DE"}};
        options.reviewsFile = (fuzz::ScratchFolder("signal") / "reviews.txt").string();
        options.reviewsFileLimit = 64 << 10;
        options.verbose = true;
        Instance = std::make_unique<signal::SignalServer>(std::vector<asio::io_context*>{&Io}, options);
        Instance->start();
        Port = Instance->port();
        Thread = std::thread([this] { Io.run(); });
    }
    asio::io_context Io;
    asio::executor_work_guard<asio::io_context::executor_type> Guard = asio::make_work_guard(Io);
    std::unique_ptr<signal::SignalServer> Instance;
    std::uint16_t Port = 0;
    std::thread Thread;
};

class Client {
public:
    // Connected and joined under a fresh ID.
    void Ensure(std::uint16_t port) {
        if (FLink) return;
        static int nextId = 100000000;
        FId = std::to_string(++nextId);
        // A refused connection is said with its reason; only one that
        // stays refused for a second is a finding.
        for (int attempt = 1;; ++attempt) {
            FLink = std::make_unique<testing::TlsLineClient>();
            errno = 0;
            if (FLink->connect(port, PkiDir + "/ca.pem")) break;
            std::fprintf(stderr, "fuzz: connection %d to the server failed: %s\n", attempt, std::strerror(errno));
            if (attempt == 10) fuzz::Fail("cannot connect to the server");
            std::this_thread::sleep_for(100ms);
        }
        FLink->writeLine(R"({"msg":"join","from":")" + FId + R"(","payload":")" + FId + R"("})");
        Await(R"("msg":"joined")");
    }

    void Send(std::string_view raw) {
        if (FLink && !FLink->writeRaw(raw)) FLink.reset();
    }

    // Asks for a relay and reads up to the answer; a closed link is dropped.
    void Sync() {
        if (!FLink) return;
        static int serial = 0;
        const std::string tag = "sync" + std::to_string(++serial);
        FLink->writeLine(R"({"msg":"getpublicturn","payload":"DE","type":")" + tag + R"("})");
        Await(tag);
    }

    const std::string& Id() const { return FId; }

private:
    void Await(const std::string& mark) {
        const auto start = std::chrono::steady_clock::now();
        while (FLink) {
            const std::optional<std::string> line = FLink->readLine(AnswerTimeout);
            if (line && line->find(mark) != std::string::npos) return;
            if (line) continue;
            if (std::chrono::steady_clock::now() - start >= AnswerTimeout)
                fuzz::Fail("the server neither answered nor closed the connection");
            FLink.reset();
        }
    }

    std::unique_ptr<testing::TlsLineClient> FLink;
    std::string FId;
};

// Runs until the process ends: the fuzzer leaves by exit(), and a server
// torn down under its own running thread would only add noise.
Server* server = nullptr;
std::array<Client, 3> clients;

std::string WithIds(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '@' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '2') {
            out += clients[text[i + 1] - '0'].Id();
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace
}  // namespace corvala

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // As crsignal's main does; the clients write to connections the server
    // has just closed, too.
    std::signal(SIGPIPE, SIG_IGN);
    corvala::server = new corvala::Server;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    const std::uint16_t port = server->Port;
    for (Client& c : clients) c.Ensure(port);
    fuzz::InputReader input(data, size);
    while (!input.Empty()) {
        const std::string_view line = input.Until('\n');
        if (line.empty()) continue;
        clients[static_cast<std::uint8_t>(line[0]) % clients.size()].Send(WithIds(line.substr(1)) + "\n");
    }
    for (Client& c : clients) c.Sync();
    return 0;
}
