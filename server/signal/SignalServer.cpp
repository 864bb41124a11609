#include "SignalServer.h"

#include "signalling/JsonEscape.h"

#include <nlohmann/json.hpp>
#include <openssl/ssl.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iostream>

namespace corvala::signal {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

namespace {

constexpr std::size_t kMaxLine = 16384;
constexpr std::size_t kMaxIdLength = 64;
constexpr std::string_view kLineEnd = "\r\n";

// Every line the server writes is a full eight-member envelope.
std::string envelope(std::string_view msg, std::string_view type = {}, std::string_view payload = {}) {
    JsonObjectWriter w;
    w.add("msg", msg).add("from", std::string_view()).add("to", std::string_view())
        .add("type", type).add("payload", payload).add("password", std::string_view())
        .add("username", std::string_view()).add("version", std::string_view());
    return w.take();
}

// A member the server uses: missing reads as empty, any other non-string
// value makes the whole line invalid.
std::optional<std::string> textMember(const nlohmann::json& o, const char* key) {
    const auto it = o.find(key);
    if (it == o.end()) return std::string();
    if (!it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

}  // namespace

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(SignalServer& server, tcp::socket socket, std::uint64_t serial)
        : server_(server), stream_(std::move(socket), server.tls_), serial_(serial) {
        deadline_ = Clock::now() + server_.options_.handshakeTimeout;
    }

    void start() {
        asio::error_code ec;
        stream_.next_layer().set_option(tcp::no_delay(true), ec);
        stream_.async_handshake(asio::ssl::stream_base::server,
                                [self = shared_from_this()](const asio::error_code& ec) {
                                    if (self->closed_) return;
                                    if (ec) return self->close("handshake failed: " + ec.message());
                                    self->open_ = true;
                                    self->touch();
                                    self->read();
                                });
    }

    // Queues one line. A client whose unread output passes the limit is
    // dropped: its memory must not grow without bound.
    void send(std::string_view line) {
        if (closed_) return;
        if (outbox_.size() + inFlight_.size() + line.size() + 2 > server_.options_.maxQueuedBytes)
            return close("not reading its messages");
        outbox_.append(line);
        outbox_.append(kLineEnd);
        if (!writing_ && open_) flush();
    }

    void close(const std::string& why) {
        if (closed_) return;
        closed_ = true;
        if (server_.options_.verbose) server_.log("connection " + std::to_string(serial_) + " closed: " + why);
        asio::error_code ec;
        stream_.lowest_layer().close(ec);
        server_.forget(*this);
    }

    bool expired(Clock::time_point now) const { return deadline_ != Clock::time_point::max() && now > deadline_; }
    bool isOpen() const { return open_ && !closed_; }
    std::uint64_t serial() const { return serial_; }
    std::string id;  // the ID this connection joined under, if any

private:
    void touch() {
        const auto idle = server_.options_.idleTimeout;
        deadline_ = idle.count() == 0 ? Clock::time_point::max() : Clock::now() + idle;
    }

    void read() {
        stream_.async_read_some(asio::buffer(readBuffer_),
                                [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                                    if (self->closed_) return;
                                    if (ec) return self->close(ec == asio::error::eof ? "closed by client" : ec.message());
                                    self->touch();
                                    self->consume(std::string_view(self->readBuffer_.data(), n));
                                    if (!self->closed_) self->read();
                                });
    }

    // Splits received bytes into lines (LF ends a line, a CR before it is
    // dropped). Complete lines are handled straight from the read buffer;
    // only an unfinished tail is copied.
    void consume(std::string_view data) {
        while (!data.empty() && !closed_) {
            const auto nl = data.find('\n');
            if (nl == std::string_view::npos) {
                // Unterminated: it may still end in the CR of a longest line.
                if (partial_.size() + data.size() > kMaxLine + 1) return close("line too long");
                partial_.append(data);
                if (partial_.size() > kMaxLine && partial_.back() != '\r') return close("line too long");
                return;
            }
            std::string_view line = data.substr(0, nl);
            if (!partial_.empty()) {
                if (partial_.size() + line.size() > kMaxLine + 1) return close("line too long");
                partial_.append(line);
                line = partial_;
            }
            data.remove_prefix(nl + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() > kMaxLine) return close("line too long");
            server_.handleLine(*this, line);
            partial_.clear();
            if (partial_.capacity() > 4096) partial_.shrink_to_fit();
        }
    }

    void flush() {
        writing_ = true;
        inFlight_.swap(outbox_);
        asio::async_write(stream_, asio::buffer(inFlight_),
                          [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                              self->writing_ = false;
                              if (self->closed_) return;
                              if (ec) return self->close("write failed: " + ec.message());
                              self->inFlight_.clear();
                              if (self->inFlight_.capacity() > 65536) self->inFlight_.shrink_to_fit();
                              if (!self->outbox_.empty()) self->flush();
                          });
    }

    SignalServer& server_;
    asio::ssl::stream<tcp::socket> stream_;
    std::uint64_t serial_;
    Clock::time_point deadline_;
    std::array<char, 4096> readBuffer_{};
    std::string partial_;
    std::string outbox_;
    std::string inFlight_;
    bool open_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

SignalServer::SignalServer(asio::io_context& io, ServerOptions options)
    : io_(io), options_(std::move(options)), tls_(asio::ssl::context::tls_server), acceptor_(io),
      acceptPause_(io), sweepTimer_(io) {
    SSL_CTX* ctx = tls_.native_handle();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    tls_.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_compression |
                     asio::ssl::context::single_dh_use);
    // Idle connections are the common case: let OpenSSL free its record
    // buffers between reads instead of holding them per connection.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    tls_.use_certificate_chain_file(options_.certChainFile);
    tls_.use_private_key_file(options_.keyFile, asio::ssl::context::pem);
    if (SSL_CTX_check_private_key(ctx) != 1) throw std::runtime_error("the key does not match the certificate");
    relays_.setConfigured(options_.relays);

    const tcp::endpoint endpoint(asio::ip::make_address(options_.bindAddress), options_.port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(4096);
}

SignalServer::~SignalServer() { stop(); }

std::uint16_t SignalServer::port() const { return acceptor_.local_endpoint().port(); }

void SignalServer::start() {
    accept();
    sweep();
}

void SignalServer::stop() {
    if (stopped_) return;
    stopped_ = true;
    asio::error_code ec;
    acceptor_.close(ec);
    acceptPause_.cancel();
    sweepTimer_.cancel();
    auto all = connections_;
    for (const auto& c : all) c->close("server stopping");
}

void SignalServer::accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, tcp::socket socket) {
        if (stopped_) return;
        if (ec) {
            // Out of descriptors: back off briefly instead of spinning; the
            // connections already held keep being served meanwhile.
            log("accept failed: " + ec.message());
            acceptPause_.expires_after(std::chrono::milliseconds(100));
            acceptPause_.async_wait([this](const asio::error_code& e) {
                if (!e && !stopped_) accept();
            });
            return;
        }
        if (connections_.size() >= options_.maxConnections) {
            asio::error_code ignored;
            socket.close(ignored);
        } else {
            auto c = std::make_shared<Connection>(*this, std::move(socket), nextSerial_++);
            connections_.insert(c);
            c->start();
        }
        accept();
    });
}

void SignalServer::sweep() {
    const auto now = Clock::now();
    std::vector<std::shared_ptr<Connection>> expired;
    for (const auto& c : connections_)
        if (c->expired(now)) expired.push_back(c);
    for (const auto& c : expired) c->close(c->isOpen() ? "idle" : "handshake timed out");
    sweepTimer_.expires_after(std::chrono::seconds(1));
    sweepTimer_.async_wait([this](const asio::error_code& ec) {
        if (!ec && !stopped_) sweep();
    });
}

void SignalServer::forget(Connection& c) {
    relays_.withdraw(c.serial());
    if (!c.id.empty()) {
        const auto it = registry_.find(c.id);
        if (it != registry_.end() && it->second == &c) registry_.erase(it);
    }
    // The handlers still running keep the object alive until they return.
    connections_.erase(c.shared_from_this());
}

void SignalServer::join(Connection& c, const std::string& id) {
    if (!c.id.empty() && c.id != id) {
        const auto it = registry_.find(c.id);
        if (it != registry_.end() && it->second == &c) registry_.erase(it);
    }
    // A newer connection under the same ID wins: the usual case is a client
    // that reconnected before the server noticed its old link was gone.
    registry_[id] = &c;
    c.id = id;
    c.send(envelope("joined"));
}

void SignalServer::handleLine(Connection& c, std::string_view line) {
    if (line.empty() || line == "p") return;
    const auto doc = nlohmann::json::parse(line, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return;
    const auto msg = textMember(doc, "msg");
    if (!msg) return;

    if (*msg == "message") {
        const auto to = textMember(doc, "to");
        if (!to) return;
        const auto it = registry_.find(*to);
        if (it == registry_.end()) return c.send(envelope("invalid_id"));
        // Relayed as received: every member reaches the peer byte for byte.
        it->second->send(line);
    } else if (*msg == "join") {
        const auto id = textMember(doc, "payload");
        if (id && !id->empty() && id->size() <= kMaxIdLength) join(c, *id);
    } else if (*msg == "getpublicturn") {
        const auto country = textMember(doc, "payload");
        const auto type = textMember(doc, "type");
        if (!country || !type) return;
        const auto relay = relays_.choose(*country);
        JsonObjectWriter ice;
        ice.add("ice_password", relay ? std::string_view(relay->password) : std::string_view())
            .add("ice_username", relay ? std::string_view(relay->username) : std::string_view())
            .add("ice_url", relay ? std::string_view(relay->url) : std::string_view());
        c.send(envelope("publicturn", *type, ice.take()));
    } else if (*msg == "publicturn") {
        const auto payload = textMember(doc, "payload");
        if (!payload) return;
        const auto ice = nlohmann::json::parse(*payload, nullptr, false);
        if (ice.is_discarded() || !ice.is_object()) return;
        const auto url = textMember(ice, "ice_url");
        const auto user = textMember(ice, "ice_username");
        const auto password = textMember(ice, "ice_password");
        const auto country = textMember(ice, "country");
        if (!url || url->empty() || !user || !password || !country) return;
        relays_.announce(c.serial(), Relay{*url, *user, *password, *country});
    } else if (*msg == "removeturn") {
        relays_.withdraw(c.serial());
    } else if (*msg == "review") {
        const auto from = textMember(doc, "from");
        const auto payload = textMember(doc, "payload");
        if (from && payload) appendReview(*from, *payload);
    }
}

void SignalServer::appendReview(const std::string& from, const std::string& payload) {
    if (options_.reviewsFile.empty()) return;
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    const nlohmann::json record{{"time", stamp}, {"from", from}, {"review", payload}};
    std::ofstream out(options_.reviewsFile, std::ios::app);
    out << record.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) << '\n';
    if (!out) log("cannot append to " + options_.reviewsFile);
}

void SignalServer::log(const std::string& text) const { std::cerr << "crsignal: " << text << '\n'; }

}  // namespace corvala::signal
