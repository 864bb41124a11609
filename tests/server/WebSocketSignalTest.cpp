// crsignal's WebSocket port for browsers, over real TLS on loopback with the
// development PKI: a browser-like client (Boost.Beast) and the program's kind
// of TLS line client share one registry, and what a browser may not send is
// refused and logged without disturbing the line clients.
#include "ServerProcess.h"
#include "TlsLineClient.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <iostream>
#include <sstream>
#include <thread>

using namespace corvala::testing;
using namespace std::chrono_literals;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;

namespace {

constexpr char kJoined[] =
    R"({"msg":"joined","from":"","to":"","type":"","payload":"","password":"","username":"","version":""})";
constexpr char kInvalidId[] =
    R"({"msg":"invalid_id","from":"","to":"","type":"","payload":"","password":"","username":"","version":""})";

std::string joinLine(const std::string& id) {
    return R"({"msg":"join","from":")" + id + R"(","to":"","type":"","payload":")" + id +
           R"(","password":"","username":"","version":""})";
}

std::string messageLine(const std::string& from, const std::string& to, const std::string& payload = "") {
    return R"({"msg":"message","from":")" + from + R"(","to":")" + to + R"(","type":"init","payload":")" +
           payload + R"(","password":"pw","username":"Browser \u00E9","version":"42"})";
}

// A browser's side of the connection: wss with the development root trusted.
// Every wait is bounded; a read that times out leaves the client unusable,
// which ends the test case anyway.
class WssClient {
public:
    bool connect(std::uint16_t port) {
        tls_.load_verify_file(PkiFile("ca.pem"));
        tls_.set_verify_mode(net::ssl::verify_peer);
        ws_ = std::make_unique<Stream>(io_, tls_);
        beast::error_code ec;
        beast::get_lowest_layer(*ws_).connect({net::ip::make_address("127.0.0.1"), port}, ec);
        if (ec) return false;
        ws_->next_layer().set_verify_callback(net::ssl::host_name_verification("localhost"));
        SSL_set_tlsext_host_name(ws_->next_layer().native_handle(), "localhost");
        ws_->next_layer().handshake(net::ssl::stream_base::client, ec);
        if (!ec) ws_->handshake("localhost", "/", ec);
        return !ec;
    }

    bool send(const std::string& text, bool binary = false) {
        ws_->binary(binary);
        beast::error_code ec;
        ws_->write(net::buffer(text), ec);
        return !ec;
    }

    // The next text message; nothing on time-out or close (closeCode() then
    // tells the server's close code, if it sent one).
    std::optional<std::string> read(std::chrono::milliseconds timeout = 10s) {
        beast::flat_buffer buffer;
        std::optional<beast::error_code> result;
        ws_->async_read(buffer, [&](beast::error_code ec, std::size_t) { result = ec; });
        io_.restart();
        io_.run_for(timeout);
        if (!result) {
            beast::get_lowest_layer(*ws_).close();
            io_.restart();
            io_.run_for(1s);
            return std::nullopt;
        }
        if (*result) return std::nullopt;
        return beast::buffers_to_string(buffer.data());
    }

    // The server's close code once it has closed the connection, -1 when it
    // did not close in time (or closed without a close frame).
    int closeCode(std::chrono::milliseconds timeout = 10s) {
        while (read(timeout)) {}
        const auto code = ws_->reason().code;
        return code == websocket::close_code::none ? -1 : static_cast<int>(code);
    }

private:
    using Stream = websocket::stream<beast::ssl_stream<beast::tcp_stream>>;
    net::io_context io_;
    net::ssl::context tls_{net::ssl::context::tls_client};
    std::unique_ptr<Stream> ws_;
};

// crsignal's standard error goes to a file the test reads: refusals are logged there.
class WebSocketSignalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }

    void SetUp() override { startServer({}); }

    void startServer(const std::vector<std::string>& extra) {
        server_.reset();
        log_ = std::filesystem::temp_directory_path() / ("crsignal-ws-" + std::to_string(getpid()) + ".log");
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        FILE* f = std::fopen(log_.c_str(), "w");
        ASSERT_TRUE(f);
        dup2(fileno(f), STDERR_FILENO);
        std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"),
                                      "--key", PkiFile("server.key"), "--ws-port", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        server_ = std::make_unique<ServerProcess>("crsignal", args);
        dup2(saved, STDERR_FILENO);
        close(saved);
        std::fclose(f);
        ASSERT_NE(server_->port(), 0) << "crsignal did not start";
        ASSERT_TRUE(server_->waitForOutput("wss://", 1, 10s)) << server_->output();
        const auto& out = server_->output();
        const auto at = out.find("wss://");
        wsPort_ = static_cast<std::uint16_t>(std::stoi(out.substr(out.find(':', at + 6) + 1)));
    }

    void TearDown() override {
        server_.reset();
        if (HasFailure()) {
            std::ifstream in(log_);
            std::cerr << "crsignal's log:\n" << in.rdbuf();
        }
        std::filesystem::remove(log_);
    }

    std::unique_ptr<WssClient> browserAs(const std::string& id) {
        auto c = std::make_unique<WssClient>();
        EXPECT_TRUE(c->connect(wsPort_));
        EXPECT_TRUE(c->send(joinLine(id)));
        EXPECT_EQ(c->read(), kJoined);
        return c;
    }

    std::unique_ptr<TlsLineClient> programAs(const std::string& id) {
        auto c = std::make_unique<TlsLineClient>();
        EXPECT_TRUE(c->connect(server_->port(), PkiFile("ca.pem")));
        EXPECT_TRUE(c->writeLine(joinLine(id)));
        EXPECT_EQ(c->readLine(), kJoined);
        return c;
    }

    // True once crsignal's log holds `text` (within a few seconds).
    bool logged(const std::string& text) {
        for (int i = 0; i < 50; ++i) {
            std::ifstream in(log_);
            std::stringstream all;
            all << in.rdbuf();
            if (all.str().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    std::unique_ptr<ServerProcess> server_;
    std::uint16_t wsPort_ = 0;
    std::filesystem::path log_;
};

TEST_F(WebSocketSignalTest, BrowserAndProgramRelayBothWaysByteForByte) {
    auto browser = browserAs("700000001");
    auto program = programAs("700000002");

    const std::string toProgram = messageLine("700000001", "700000002", R"({\"ice_url\":\"\"})");
    ASSERT_TRUE(browser->send(toProgram));
    EXPECT_EQ(program->readLine(), toProgram);

    const std::string toBrowser = messageLine("700000002", "700000001", "sdp\\\\r\\\\n\\/");
    ASSERT_TRUE(program->writeLine(toBrowser));
    EXPECT_EQ(browser->read(), toBrowser);

    // A message exactly as long as a line may be still passes.
    std::string longest = messageLine("700000001", "700000002");
    longest = messageLine("700000001", "700000002", std::string(16384 - longest.size(), 'a'));
    ASSERT_EQ(longest.size(), 16384u);
    ASSERT_TRUE(browser->send(longest));
    EXPECT_EQ(program->readLine(), longest);

    // The keep-alive gets no answer; an unknown recipient gets "invalid_id".
    ASSERT_TRUE(browser->send("p"));
    ASSERT_TRUE(browser->send(messageLine("700000001", "799999999")));
    EXPECT_EQ(browser->read(), kInvalidId);
}

TEST_F(WebSocketSignalTest, BrowsersFaceTheSameIdentityChecks) {
    auto program = programAs("700000010");

    // A live program's ID cannot be taken by a browser: one registry for both.
    WssClient thief;
    ASSERT_TRUE(thief.connect(wsPort_));
    ASSERT_TRUE(thief.send(joinLine("700000010")));
    EXPECT_EQ(thief.closeCode(), static_cast<int>(websocket::close_code::going_away));
    EXPECT_TRUE(logged("over WebSocket: join as \"700000010\" refused"));

    // Unjoined and spoofed messages are dropped, never delivered.
    WssClient unjoined;
    ASSERT_TRUE(unjoined.connect(wsPort_));
    ASSERT_TRUE(unjoined.send(messageLine("700000011", "700000010")));
    auto browser = browserAs("700000012");
    ASSERT_TRUE(browser->send(messageLine("700000013", "700000010")));
    const std::string honest = messageLine("700000012", "700000010");
    ASSERT_TRUE(browser->send(honest));
    EXPECT_EQ(program->readLine(), honest);
    EXPECT_TRUE(logged("claiming to be from \"700000013\""));
}

TEST_F(WebSocketSignalTest, RefusesWhatIsNoSingleLineAndLogsIt) {
    auto program = programAs("700000020");
    auto partner = programAs("700000021");
    struct Case {
        const char* name;
        std::string message;
        bool binary;
        websocket::close_code code;
        const char* log;
    };
    const Case cases[] = {
        {"over the line limit", std::string(16385, 'x'), false, websocket::close_code::too_big,
         "sent a message longer than 16384 bytes"},
        {"far over it", std::string(200000, 'x'), false, websocket::close_code::too_big,
         "sent a message longer than 16384 bytes"},
        {"binary", joinLine("700000022"), true, websocket::close_code::unknown_data, "sent a binary message"},
        {"two lines in one", joinLine("700000023") + "\n" + messageLine("700000023", "700000020"), false,
         websocket::close_code::policy_error, "sent a message with a line break in it"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto browser = browserAs("70000003" + std::to_string(n++));
        ASSERT_TRUE(browser->send(c.message, c.binary));
        EXPECT_EQ(browser->closeCode(), static_cast<int>(c.code));
        EXPECT_TRUE(logged(std::string("WebSocket client 127.0.0.1: ") + c.log + "; connection closed"));
    }
    // Nothing of the refused messages arrived, and the line clients still relay.
    const std::string line = messageLine("700000021", "700000020");
    ASSERT_TRUE(partner->writeLine(line));
    EXPECT_EQ(program->readLine(), line);
}

// A connection that never finishes its handshakes holds nothing for long,
// and the gateway keeps serving others meanwhile.
TEST_F(WebSocketSignalTest, SilentConnectionsAreClosedAfterTheHandshakeTime) {
    startServer({"--handshake-timeout", "1"});
    TlsLineClient silent;  // TCP only: no TLS, no WebSocket upgrade
    ASSERT_TRUE(silent.connectTcp(wsPort_));
    TlsLineClient upgradeless;  // TLS, then nothing
    ASSERT_TRUE(upgradeless.connect(wsPort_, PkiFile("ca.pem")));
    auto browser = browserAs("700000040");
    EXPECT_TRUE(silent.waitClosed(10s));
    EXPECT_TRUE(upgradeless.waitClosed(10s));
    // The joined browser is past its handshakes and stays.
    auto program = programAs("700000041");
    const std::string line = messageLine("700000041", "700000040");
    ASSERT_TRUE(program->writeLine(line));
    EXPECT_EQ(browser->read(), line);
}

}  // namespace
