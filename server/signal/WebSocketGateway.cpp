#include "WebSocketGateway.h"

#include "LogThrottle.h"
#include "signalling/LineFramer.h"

#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

namespace corvala::signal {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Local = net::local::stream_protocol;

namespace {

// Lines about refused input written per second at most, as for line clients.
constexpr std::size_t kRefusalLinesPerSecond = 20;

class Session;

}  // namespace

struct WebSocketGateway::Impl {
    Impl(WebSocketOptions o, Adopt a)
        : options(std::move(o)), adopt(std::move(a)), tls(net::ssl::context::tls_server), acceptor(io),
          refusalLog(kRefusalLinesPerSecond) {
        SSL_CTX* ctx = tls.native_handle();
        // Browsers speak TLS 1.3 as well; 1.2 is the floor, as on the line port.
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
        tls.set_options(net::ssl::context::default_workarounds | net::ssl::context::no_compression);
        tls.use_certificate_chain_file(options.certChainFile);
        tls.use_private_key_file(options.keyFile, net::ssl::context::pem);
        const tcp::endpoint endpoint(net::ip::make_address(options.bindAddress), options.port);
        acceptor.open(endpoint.protocol());
        acceptor.set_option(tcp::acceptor::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen(1024);
    }

    void accept();
    void stopAll();

    // Refused input: written whatever --verbose says, within the throttle.
    void logRefusal(const std::string& text) {
        std::size_t heldBack = 0;
        if (!refusalLog.allow(LogThrottle::Clock::now(), heldBack)) return;
        log(heldBack ? text + " (" + std::to_string(heldBack) + " similar lines held back)" : text);
    }
    void log(const std::string& text) const { std::cerr << ("crsignal: " + text + '\n') << std::flush; }

    WebSocketOptions options;
    Adopt adopt;
    net::io_context io{1};
    net::ssl::context tls;
    tcp::acceptor acceptor;
    LogThrottle refusalLog;
    std::unordered_set<std::shared_ptr<Session>> sessions;
    std::size_t pendingHandshakes = 0;
    std::thread thread;
    std::once_flag stopped;
};

namespace {

// One browser: its WebSocket on one side, the server's line stream on the
// other. At most one write is in flight each way, so a slow reader on either
// side stops the other from reading more: nothing queues without bound here
// (the server bounds what it queues for a client itself).
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(WebSocketGateway::Impl& gateway, tcp::socket socket, std::string address)
        : gw_(gateway), ws_(beast::tcp_stream(std::move(socket)), gateway.tls), pipe_(gateway.io),
          address_(std::move(address)) {}

    void start() {
        ++gw_.pendingHandshakes;
        inHandshake_ = true;
        beast::get_lowest_layer(ws_).expires_after(gw_.options.handshakeTimeout);
        ws_.next_layer().async_handshake(net::ssl::stream_base::server,
                                         [self = shared_from_this()](beast::error_code ec) { self->onTls(ec); });
    }

    // Ends both sides at once (gateway stopping).
    void end() {
        if (ended_) return;
        ended_ = true;
        if (inHandshake_) {
            inHandshake_ = false;
            --gw_.pendingHandshakes;
        }
        beast::error_code ec;
        pipe_.close(ec);
        beast::get_lowest_layer(ws_).socket().close(ec);
        gw_.sessions.erase(shared_from_this());
    }

private:
    std::string who() const { return "WebSocket client " + address_; }

    void onTls(beast::error_code ec) {
        if (ec) return quiet("TLS handshake failed: " + ec.message());
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& res) { res.set(beast::http::field::server, "crsignal"); }));
        ws_.async_accept([self = shared_from_this()](beast::error_code e) { self->onUpgrade(e); });
    }

    void onUpgrade(beast::error_code ec) {
        if (ec) return quiet("WebSocket handshake failed: " + ec.message());
        inHandshake_ = false;
        --gw_.pendingHandshakes;
        // The server times out silent clients itself (keep-alive "p" lines),
        // so the socket needs no deadline of its own from here on.
        beast::get_lowest_layer(ws_).expires_never();
        // A safety net only: readBrowser() enforces the real limit itself.
        ws_.read_message_max(std::max<std::size_t>(gw_.options.maxMessageBytes * 4, 1 << 20));
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return quiet("no local stream pair");
        beast::error_code e;
        pipe_.assign(Local(), fds[1], e);
        if (e) {
            ::close(fds[0]);
            ::close(fds[1]);
            return quiet("cannot watch the local stream");
        }
        if (gw_.options.verbose) gw_.log(who() + ": upgraded, handed to the server");
        gw_.adopt(fds[0], address_);
        readBrowser();
        readServer();
    }

    // Reads a message piece by piece, never more than one byte past the
    // limit: Beast's own message limit would close the connection itself and
    // report the TLS teardown instead of the reason.
    void readBrowser() {
        const std::size_t room = gw_.options.maxMessageBytes + 1 - fromBrowser_.size();
        ws_.async_read_some(fromBrowser_, room, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->onBrowser(ec);
        });
    }

    void onBrowser(beast::error_code ec) {
        if (ec) return quiet(ec == websocket::error::closed ? "closed by client" : "read failed: " + ec.message());
        if (fromBrowser_.size() > gw_.options.maxMessageBytes)
            return refuse("sent a message longer than " + std::to_string(gw_.options.maxMessageBytes) + " bytes",
                          websocket::close_code::too_big);
        if (!ws_.is_message_done()) return readBrowser();
        if (!ws_.got_text()) return refuse("sent a binary message", websocket::close_code::unknown_data);
        toServer_ = beast::buffers_to_string(fromBrowser_.data());
        fromBrowser_.consume(fromBrowser_.size());
        // One message is one line: a line end inside it would smuggle in more.
        if (toServer_.find_first_of("\r\n") != std::string::npos)
            return refuse("sent a message with a line break in it", websocket::close_code::policy_error);
        toServer_ += "\r\n";
        net::async_write(pipe_, net::buffer(toServer_), [self = shared_from_this()](beast::error_code e, std::size_t) {
            if (e) return self->quiet("the server closed the connection");
            self->readBrowser();
        });
    }

    void readServer() {
        pipe_.async_read_some(net::buffer(fromServer_), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
            self->onServer(ec, n);
        });
    }

    void onServer(beast::error_code ec, std::size_t n) {
        // The server closed its end: it refused the client, timed it out or
        // is stopping; it has logged why.
        if (ec) return closeBrowser(websocket::close_code::going_away);
        const bool fits = lines_.feed(std::string_view(fromServer_.data(), n), [this](std::string_view line) {
            toBrowser_.emplace_back(line);
            return true;
        });
        if (!fits) return quiet("the server sent a line over the limit");
        writeBrowser();
    }

    void writeBrowser() {
        if (toBrowser_.empty()) return readServer();
        ws_.text(true);
        writing_ = true;
        ws_.async_write(net::buffer(toBrowser_.front()), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->writing_ = false;
            if (ec) return self->quiet("write failed: " + ec.message());
            self->toBrowser_.pop_front();
            if (self->closeAfterWrite_) return self->closeBrowser(*self->closeAfterWrite_);
            self->writeBrowser();
        });
    }

    // Refused input: logged, the server's side dropped, the browser told why.
    void refuse(const std::string& why, websocket::close_code code) {
        gw_.logRefusal(who() + ": " + why + "; connection closed");
        beast::error_code ec;
        pipe_.close(ec);
        closeBrowser(code);
    }

    // A close frame with `code`, then the end; Beast allows no close while a
    // write is in flight, so that waits for the write.
    void closeBrowser(websocket::close_code code) {
        if (ended_ || closing_) return;
        if (writing_) {
            closeAfterWrite_ = code;
            return;
        }
        closing_ = true;
        beast::get_lowest_layer(ws_).expires_after(gw_.options.handshakeTimeout);
        ws_.async_close(code, [self = shared_from_this()](beast::error_code) { self->end(); });
    }

    void quiet(const std::string& why) {
        if (gw_.options.verbose) gw_.log(who() + ": " + why);
        end();
    }

    WebSocketGateway::Impl& gw_;
    websocket::stream<beast::ssl_stream<beast::tcp_stream>> ws_;
    Local::socket pipe_;
    std::string address_;
    beast::flat_buffer fromBrowser_;
    std::string toServer_;
    std::array<char, 16384> fromServer_{};
    LineFramer lines_{wire::MaxLineLength};
    std::deque<std::string> toBrowser_;
    std::optional<websocket::close_code> closeAfterWrite_;
    bool inHandshake_ = false;
    bool writing_ = false;
    bool closing_ = false;
    bool ended_ = false;
};

}  // namespace

void WebSocketGateway::Impl::accept() {
    // The gateway's thread is joined before Impl goes: plain `this` is safe.
    acceptor.async_accept([self = this](beast::error_code ec, tcp::socket socket) {
        if (!self->acceptor.is_open()) return;
        if (ec) {
            self->log("WebSocket accept failed: " + ec.message());
        } else {
            beast::error_code e;
            const auto peer = socket.remote_endpoint(e);
            if (!e) {
                const std::string address = peer.address().to_string();
                if (self->pendingHandshakes >= self->options.maxPendingHandshakes) {
                    self->logRefusal("WebSocket client " + address + " refused: " +
                                     std::to_string(self->pendingHandshakes) + " handshakes already running");
                    socket.close(e);
                } else {
                    auto s = std::make_shared<Session>(*self, std::move(socket), address);
                    self->sessions.insert(s);
                    s->start();
                }
            }
        }
        self->accept();
    });
}

void WebSocketGateway::Impl::stopAll() {
    beast::error_code ec;
    acceptor.close(ec);
    auto all = sessions;
    for (const auto& s : all) s->end();
}

WebSocketGateway::WebSocketGateway(WebSocketOptions options, Adopt adopt)
    : impl_(std::make_shared<Impl>(std::move(options), std::move(adopt))) {}

WebSocketGateway::~WebSocketGateway() { stop(); }

std::uint16_t WebSocketGateway::port() const { return impl_->acceptor.local_endpoint().port(); }

void WebSocketGateway::start() {
    impl_->accept();
    impl_->thread = std::thread([impl = impl_.get()] { impl->io.run(); });
}

void WebSocketGateway::stop() {
    std::call_once(impl_->stopped, [this] {
        if (!impl_->thread.joinable()) return;
        net::post(impl_->io, [impl = impl_.get()] {
            impl->stopAll();
            impl->io.stop();
        });
        impl_->thread.join();
    });
}

}  // namespace corvala::signal
