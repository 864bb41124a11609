#include "SignalServer.h"

#include "signalling/JsonEscape.h"
#include "signalling/LineFramer.h"

#include <nlohmann/json.hpp>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <deque>
#include <ctime>
#include <shared_mutex>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace corvala::signal {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

namespace {

constexpr std::size_t kMaxIdLength = 64;
constexpr std::string_view kLineEnd = "\r\n";
// Lines dropped for a missing or false identity before the connection goes.
constexpr int kMaxIdentityViolations = 3;
// Lines about refused input written per second at most (see LogThrottle).
constexpr std::size_t kRefusalLinesPerSecond = 20;

// Connections on one loop are read one at a time: one buffer per thread serves them.
thread_local std::array<char, 16384> readBuffer;

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

// Client-chosen text for the log: quoted, escaped to printable ASCII, cut short.
std::string forLog(std::string_view text) {
    constexpr std::size_t kShown = 64;
    std::string out;
    AppendJsonStringUtf8(out, text.substr(0, kShown));
    if (text.size() > kShown) out += "...";
    return out;
}

}  // namespace

// One client. TLS runs straight on the non-blocking socket (OpenSSL reads
// and writes the descriptor itself; Asio only reports readiness), which keeps
// an idle connection down to its socket, its SSL object and a few strings.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    // Without `tls` the socket carries the lines in the clear: it is the
    // server's end of a local pair whose other end a gateway (WebSocket) serves.
    Connection(SignalServer& server, SignalServer::Loop& loop, tcp::socket socket, std::uint64_t serial,
               const Source& source, bool tls = true)
        : server_(server), loop_(loop), socket_(std::move(socket)), serial_(serial), source_(source), tls_(tls) {
        deadline_ = Clock::now() + server_.options_.handshakeTimeout;
    }
    ~Connection() {
        if (ssl_) SSL_free(ssl_);
    }

    void start() {
        asio::error_code ec;
        socket_.set_option(tcp::no_delay(true), ec);
        socket_.non_blocking(true, ec);
        if (!tls_) {
            if (ec) return close("cannot set up the local stream");
            return drive();
        }
        ssl_ = SSL_new(server_.tls_.native_handle());
        if (ec || !ssl_ || SSL_set_fd(ssl_, socket_.native_handle()) != 1) return close("cannot set up TLS");
        SSL_set_accept_state(ssl_);
        drive();
    }

    // Queues one line; the queue is written once the current event is
    // handled, so lines for the same client share TLS records. A client
    // whose unread output passes the limit is dropped: its memory must not
    // grow without bound.
    void send(std::string_view line) {
        if (closed_) return;
        if (outbox_.size() - sent_ + line.size() + 2 > server_.options_.maxQueuedBytes)
            return refuse("not reading its messages, " + std::to_string(outbox_.size() - sent_) + " bytes unsent");
        outbox_.append(line);
        outbox_.append(kLineEnd);
        if (!flushPosted_ && !writeArmed_) {
            flushPosted_ = true;
            asio::post(socket_.get_executor(), [self = shared_from_this()] {
                self->flushPosted_ = false;
                if (!self->closed_) self->drive();
            });
        }
    }

    void close(const std::string& why) {
        if (closed_) return;
        if (server_.options_.verbose) server_.log("connection " + std::to_string(serial_) + " closed: " + why);
        shut();
    }

    // Closes the connection for something it sent or failed to read, and
    // logs why whatever --verbose says.
    void refuse(const std::string& why) {
        if (closed_) return;
        server_.logRefusal(*this, why + "; connection closed");
        shut();
    }

    // Why the connection has outstayed its time, or nothing.
    const char* expiry(Clock::time_point now) const {
        if (!open_) return now > deadline_ ? "handshake timed out" : nullptr;
        if (id.empty() && now > joinBy_) return "did not join in time";
        return deadline_ != Clock::time_point::max() && now > deadline_ ? "idle" : nullptr;
    }
    bool closed() const { return closed_; }
    std::uint64_t serial() const { return serial_; }
    const Source& source() const { return source_; }
    SignalServer::Loop& loop() const { return loop_; }
    // Read by joins on other loops, hence kept atomically.
    Clock::time_point lastHeard() const { return Clock::time_point(Clock::duration(lastHeard_.load())); }

    // "connection 12 from 192.0.2.7 joined as \"555\"", for the log.
    std::string describe() const {
        std::string text = "connection " + std::to_string(serial_) + " from " + SourceText(source_);
        if (!tls_) text += " over WebSocket";
        if (!id.empty()) text += " joined as " + forLog(id);
        return text;
    }

    std::string id;  // the ID this connection joined under, if any
    // The ID it asked to join under while the cluster decides; its lines
    // wait meanwhile (see hold), so that none acts under an unsettled ID.
    std::string pendingJoin;
    std::size_t reviews = 0;  // reviews stored from this connection
    int identityViolations = 0;

private:
    enum class Need { Nothing, Read, Write, Failed, Closed };

    void shut() {
        closed_ = true;
        asio::error_code ec;
        socket_.close(ec);
        server_.forget(*this);
    }

    Need need(int result) {
        if (!tls_) return plainNeed_;
        switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ: return Need::Read;
        case SSL_ERROR_WANT_WRITE: return Need::Write;
        case SSL_ERROR_ZERO_RETURN: return Need::Closed;
        case SSL_ERROR_SYSCALL: return ERR_peek_error() == 0 ? Need::Closed : Need::Failed;
        default: return Need::Failed;
        }
    }

    // Does all the TLS work the socket allows now: the handshake, reading
    // (a bounded amount per turn so one busy client cannot starve the
    // others), writing; then waits for whatever readiness is still needed.
    void drive() {
        auto self = shared_from_this();  // handlers may drop the last other reference
        bool wantRead = false, wantWrite = false;
        if (!open_ && !tls_) {
            open_ = true;
            touch();
            joinBy_ = lastHeard() + server_.options_.joinTimeout;
        }
        if (!open_) {
            ERR_clear_error();
            const int r = SSL_do_handshake(ssl_);
            if (r != 1) {
                const Need n = need(r);
                if (n == Need::Read) wantRead = true;
                else if (n == Need::Write) wantWrite = true;
                else return close("handshake failed");
                return arm(wantRead, wantWrite);
            }
            open_ = true;
            touch();
            joinBy_ = lastHeard() + server_.options_.joinTimeout;
        }
        bool yielded = false;
        for (int records = 0; !closed_; ++records) {
            if (records == 16) {
                yielded = true;
                asio::post(socket_.get_executor(), [self] {
                    if (!self->closed_) self->drive();
                });
                break;
            }
            ERR_clear_error();
            const int r = readSome(readBuffer.data(), static_cast<int>(readBuffer.size()));
            if (r > 0) {
                touch();
                consume(std::string_view(readBuffer.data(), static_cast<size_t>(r)));
                continue;
            }
            const Need n = need(r);
            if (n == Need::Read) wantRead = true;
            else if (n == Need::Write) wantWrite = true;
            else return close(n == Need::Closed ? "closed by client" : "read failed");
            break;
        }
        if (closed_) return;
        while (sent_ < outbox_.size()) {
            ERR_clear_error();
            const int r = writeSome(outbox_.data() + sent_, static_cast<int>(std::min<size_t>(outbox_.size() - sent_, 1 << 20)));
            if (r > 0) {
                sent_ += static_cast<size_t>(r);
                continue;
            }
            const Need n = need(r);
            if (n == Need::Write) wantWrite = true;
            else if (n == Need::Read) wantRead = true;
            else return close(n == Need::Closed ? "closed by client" : "write failed");
            break;
        }
        if (sent_ == outbox_.size()) {
            outbox_.clear();
            sent_ = 0;
            if (outbox_.capacity() > 65536) outbox_.shrink_to_fit();
        }
        arm(wantRead && !yielded, wantWrite);
    }

    int readSome(char* buffer, int size) {
        if (tls_) return SSL_read(ssl_, buffer, size);
        const auto n = ::recv(socket_.native_handle(), buffer, static_cast<size_t>(size), 0);
        return plainResult(n, Need::Read);
    }
    int writeSome(const char* data, int size) {
        if (tls_) return SSL_write(ssl_, data, size);
        const auto n = ::send(socket_.native_handle(), data, static_cast<size_t>(size), MSG_NOSIGNAL);
        return plainResult(n, Need::Write);
    }
    // Maps a plain read or write onto what need() reports for TLS.
    int plainResult(ssize_t n, Need wouldBlock) {
        if (n > 0) return static_cast<int>(n);
        if (n == 0) plainNeed_ = Need::Closed;
        else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) plainNeed_ = wouldBlock;
        else plainNeed_ = errno == ECONNRESET || errno == EPIPE ? Need::Closed : Need::Failed;
        return -1;
    }

    void arm(bool read, bool write) {
        if (read && !readArmed_) {
            readArmed_ = true;
            socket_.async_wait(tcp::socket::wait_read, [self = shared_from_this()](const asio::error_code& ec) {
                self->readArmed_ = false;
                if (!ec && !self->closed_) self->drive();
            });
        }
        if (write && !writeArmed_) {
            writeArmed_ = true;
            socket_.async_wait(tcp::socket::wait_write, [self = shared_from_this()](const asio::error_code& ec) {
                self->writeArmed_ = false;
                if (!ec && !self->closed_) self->drive();
            });
        }
    }

    void touch() {
        const auto now = Clock::now();
        lastHeard_.store(now.time_since_epoch().count(), std::memory_order_relaxed);
        const auto idle = server_.options_.idleTimeout;
        deadline_ = idle.count() == 0 ? Clock::time_point::max() : now + idle;
    }

    void consume(std::string_view data) {
        const bool withinLimit = lines_.feed(data, [this](std::string_view line) {
            if (!pendingJoin.empty()) return hold(line);
            handle(line);
            return !closed_;
        });
        if (!withinLimit) refuse("sent a line longer than " + std::to_string(wire::MaxLineLength) + " characters");
    }

public:
    // The cluster has answered the join: the lines that waited for it go on.
    void joinSettled() {
        pendingJoin.clear();
        while (!closed_ && pendingJoin.empty() && !held_.empty()) {
            const std::string line = std::move(held_.front());
            held_.pop_front();
            heldBytes_ -= line.size();
            handle(line);
        }
    }

private:
    void handle(std::string_view line) {
        const char* ignored = server_.handleLine(*this, line);
        if (ignored && server_.options_.verbose) server_.logRefusal(*this, std::string("ignored a line: ") + ignored);
    }

    bool hold(std::string_view line) {
        if (heldBytes_ + line.size() > server_.options_.maxQueuedBytes) {
            refuse("sent " + std::to_string(heldBytes_ + line.size()) + " bytes while its join was being settled");
            return false;
        }
        heldBytes_ += line.size();
        held_.emplace_back(line);
        return true;
    }

    SignalServer& server_;
    SignalServer::Loop& loop_;
    tcp::socket socket_;
    SSL* ssl_ = nullptr;
    std::uint64_t serial_;
    Source source_;
    Clock::time_point deadline_;
    std::atomic<Clock::rep> lastHeard_{0};
    Clock::time_point joinBy_ = Clock::time_point::max();
    LineFramer lines_{wire::MaxLineLength};
    std::string outbox_;
    std::size_t sent_ = 0;  // bytes of outbox_ already written
    std::deque<std::string> held_;  // lines received while a join is settled
    std::size_t heldBytes_ = 0;
    bool open_ = false;
    bool closed_ = false;
    bool readArmed_ = false;
    bool writeArmed_ = false;
    bool flushPosted_ = false;
    bool tls_ = true;
    Need plainNeed_ = Need::Nothing;
};

SignalServer::SignalServer(const std::vector<asio::io_context*>& loops, ServerOptions options)
    : options_(std::move(options)), loops_([&loops] {
          if (loops.empty()) throw std::invalid_argument("crsignal needs at least one event loop");
          std::vector<std::unique_ptr<Loop>> made;
          for (auto* io : loops) made.push_back(std::make_unique<Loop>(*io));
          return made;
      }()), tls_(asio::ssl::context::tls_server),
      acceptor_(loops_.front()->io), acceptPause_(loops_.front()->io), sources_(options_.perSource),
      refusalLog_(kRefusalLinesPerSecond) {
    SSL_CTX* ctx = tls_.native_handle();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    tls_.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_compression |
                     asio::ssl::context::single_dh_use);
    // Idle connections are the common case: let OpenSSL free its record
    // buffers between reads instead of holding them per connection.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_ENABLE_PARTIAL_WRITE |
                              SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    tls_.use_certificate_chain_file(options_.certChainFile);
    tls_.use_private_key_file(options_.keyFile, asio::ssl::context::pem);
    if (SSL_CTX_check_private_key(ctx) != 1) throw std::runtime_error("the key does not match the certificate");
    relays_.setConfigured(options_.relays);

    const tcp::endpoint endpoint(asio::ip::make_address(options_.bindAddress), options_.port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(4096);
    if (options_.redis)
        cluster_ = std::make_unique<Cluster>(loops_.front()->io, *options_.redis, options_.liveWindow, clusterHooks());
}

SignalServer::~SignalServer() {
    stop();
    // Its last callbacks reach into the registry and the loops: before those go.
    cluster_.reset();
}

std::uint16_t SignalServer::port() const { return acceptor_.local_endpoint().port(); }

void SignalServer::start() {
    if (cluster_) cluster_->start();
    accept();
    for (auto& loop : loops_) sweep(*loop);
}

// Called on the first loop's thread (or when no loop runs any more).
void SignalServer::stop() {
    if (stopped_.exchange(true)) return;
    asio::error_code ec;
    acceptor_.close(ec);
    acceptPause_.cancel();
    if (cluster_) {
        std::lock_guard lock(shared_);
        cluster_->stop();
    }
    for (auto& loop : loops_) {
        if (loop.get() == loops_.front().get() || loop->io.stopped()) closeAll(*loop);
        else asio::post(loop->io, [this, l = loop.get()] { closeAll(*l); });
    }
}

void SignalServer::closeAll(Loop& loop) {
    loop.sweepTimer.cancel();
    auto all = loop.connections;
    for (const auto& c : all) c->close("server stopping");
}

SignalServer::Loop& SignalServer::nextLoop() {
    Loop& loop = *loops_[nextLoop_];
    nextLoop_ = (nextLoop_ + 1) % loops_.size();
    return loop;
}

void SignalServer::accept() {
    Loop& loop = nextLoop();
    // The socket is made on the loop that will serve it; that loop admits it.
    acceptor_.async_accept(loop.io, [this, &loop](const asio::error_code& ec, tcp::socket socket) {
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
        if (&loop == loops_.front().get()) admit(loop, std::move(socket));
        else asio::post(loop.io, [this, &loop, s = std::make_shared<tcp::socket>(std::move(socket))] {
            if (!stopped_) admit(loop, std::move(*s));
        });
        accept();
    });
}

void SignalServer::admit(Loop& loop, tcp::socket socket) {
    asio::error_code ec;
    const auto peer = socket.remote_endpoint(ec);
    if (ec) return;  // already gone
    enroll(loop, std::move(socket), SourceOf(peer.address()), true);
}

void SignalServer::adoptPlain(int fd, const Source& source) {
    // Handed out like accepted connections; on the first loop, as accept().
    Loop& loop = nextLoop();
    auto socket = std::make_shared<tcp::socket>(loop.io);
    asio::error_code ec;
    // Asio only waits for readiness on it and Connection reads it with recv:
    // the protocol tag does not matter for a local stream socket.
    socket->assign(tcp::v4(), fd, ec);
    if (ec) {
        ::close(fd);
        return;
    }
    if (stopped_) return;  // the socket closes the descriptor
    asio::post(loop.io, [this, &loop, socket, source] {
        if (!stopped_) enroll(loop, std::move(*socket), source, false);
    });
}

void SignalServer::enroll(Loop& loop, tcp::socket socket, const Source& source, bool tls) {
    asio::error_code ec;
    std::string refused;
    {
        // Counted under the lock so that loops admitting at once cannot pass the limit together.
        std::lock_guard lock(shared_);
        if (connectionCount_ >= options_.maxConnections)
            refused = "all " + std::to_string(options_.maxConnections) + " connections in use";
        else if (!sources_.admitConnection(source, Clock::now()))
            refused = "already " + std::to_string(options_.perSource.maxConnections) + " connections from this address";
        else
            ++connectionCount_;
    }
    if (!refused.empty()) {
        logRefusal("connection from " + SourceText(source) + " refused: " + refused);
        socket.close(ec);
        return;
    }
    // The TLS handshake, the costly part, runs outside the lock.
    auto c = std::make_shared<Connection>(*this, loop, std::move(socket), nextSerial_++, source, tls);
    loop.connections.insert(c);
    c->start();
}

void SignalServer::sweep(Loop& loop) {
    const auto now = Clock::now();
    if (&loop == loops_.front().get()) {
        std::lock_guard lock(shared_);
        sources_.prune(now);
    }
    std::vector<std::pair<std::shared_ptr<Connection>, const char*>> expired;
    for (const auto& c : loop.connections)
        if (const char* why = c->expiry(now)) expired.emplace_back(c, why);
    for (const auto& [c, why] : expired) c->close(why);
    loop.sweepTimer.expires_after(std::chrono::seconds(1));
    loop.sweepTimer.async_wait([this, &loop](const asio::error_code& ec) {
        if (!ec && !stopped_) sweep(loop);
    });
}

void SignalServer::forget(Connection& c) {
    {
        std::lock_guard lock(shared_);
        sources_.releaseConnection(c.source());
        relays_.withdraw(c.serial());
        for (const std::string* id : {&c.id, &c.pendingJoin}) {
            const auto it = id->empty() ? registry_.end() : registry_.find(*id);
            if (it == registry_.end() || it->second != &c) continue;
            eraseRegistration(it);
            // A pending claim is released when its answer finds the connection gone.
            if (cluster_ && id == &c.id) onClusterLoop([this, released = c.id] { cluster_->release(released); });
        }
    }
    --connectionCount_;
    // The handlers still running keep the object alive until they return.
    c.loop().connections.erase(c.shared_from_this());
}

void SignalServer::eraseRegistration(Registry::iterator it) {
    std::unique_lock write(registryLock_);
    registry_.erase(it);
}

void SignalServer::deliver(Connection& to, std::string_view line) {
    if (to.loop().io.get_executor().running_in_this_thread()) return to.send(line);
    Loop& loop = to.loop();
    bool first;
    {
        std::lock_guard lock(loop.inboxLock);
        first = loop.inbox.empty();
        // Still registered, so still held by its loop: safe to take a reference.
        loop.inbox.emplace_back(to.shared_from_this(), std::string(line));
    }
    if (first) asio::post(loop.io, [this, &loop] { drainInbox(loop); });
}

void SignalServer::drainInbox(Loop& loop) {
    std::vector<std::pair<std::shared_ptr<Connection>, std::string>> lines;
    {
        std::lock_guard lock(loop.inboxLock);
        lines.swap(loop.inbox);
    }
    for (const auto& [to, line] : lines) to->send(line);
}

void SignalServer::join(Connection& c, const std::string& id) {
    const auto now = Clock::now();
    if (!sources_.admitJoin(c.source(), now))
        return c.refuse("join as " + forLog(id) + " refused: more than " +
                        std::to_string(options_.perSource.joinBurst) + " joins in a row from this address");
    const auto it = registry_.find(id);
    if (it != registry_.end() && it->second != &c) {
        // One ID, one live copy: the ID stays with a connection that still
        // speaks (clients send a keep-alive every 15 s). A connection silent
        // for longer is taken for a copy that lost its network without the
        // server noticing; its newer connection takes the ID over.
        Connection& holder = *it->second;
        const auto silence = now - holder.lastHeard();
        if (silence <= options_.liveWindow)
            return c.refuse("join as " + forLog(id) + " refused: the ID is held by live connection " +
                            std::to_string(holder.serial()));
        const std::string why = "its ID taken over by connection " + std::to_string(c.serial()) + " after " +
                                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(silence).count()) +
                                " s of silence";
        if (&holder.loop() == &c.loop()) holder.refuse(why);
        else asio::post(holder.loop().io, [h = holder.shared_from_this(), why] { h->refuse(why); });
    }
    if (!c.id.empty() && c.id != id) {
        const auto own = registry_.find(c.id);
        if (own != registry_.end() && own->second == &c) {
            eraseRegistration(own);
            if (cluster_) onClusterLoop([this, released = c.id] { cluster_->release(released); });
        }
    }
    {
        std::unique_lock write(registryLock_);
        registry_[id] = &c;
    }
    if (!cluster_) {
        c.id = id;
        c.send(envelope("joined"));
        return;
    }
    // Held here, so no other connection of this server gets it meanwhile;
    // the cluster tells whether a live connection elsewhere has it.
    c.pendingJoin = id;
    onClusterLoop([this, conn = c.shared_from_this(), id] {
        cluster_->claim(id, [this, conn, id](Cluster::Claim claim, const std::string& holder) {
            asio::post(conn->loop().io, [this, conn, id, claim, holder] { settleJoin(*conn, id, claim, holder); });
        });
    });
}

void SignalServer::settleJoin(Connection& c, const std::string& id, Cluster::Claim claim, const std::string& holder) {
    std::lock_guard lock(shared_);
    if (c.closed() || c.pendingJoin != id) {
        // Gone meanwhile: what Redis granted goes back, unless this server's
        // next holder of the ID has it now.
        if (claim == Cluster::Claim::Granted && !registry_.contains(id))
            onClusterLoop([this, id] { cluster_->release(id); });
        return;
    }
    if (claim == Cluster::Claim::HeldElsewhere) {
        if (const auto it = registry_.find(id); it != registry_.end() && it->second == &c) eraseRegistration(it);
        c.pendingJoin.clear();
        return c.refuse("join as " + forLog(id) + " refused: the ID is held by a live connection on server " +
                        forLog(holder));
    }
    if (claim == Cluster::Claim::Unreachable)
        logRefusal(c, "joined as " + forLog(id) + " on this server alone: Redis is out of reach (registered once it is back)");
    c.id = id;
    c.send(envelope("joined"));
    c.joinSettled();
}

void SignalServer::routeElsewhere(Connection& from, const std::string& to, std::string_view line) {
    onClusterLoop([this, sender = from.shared_from_this(), to, l = std::string(line)] {
        cluster_->route(to, l, [this, sender](bool taken) {
            if (!taken) deliver(*sender, envelope("invalid_id"));
        });
    });
}

void SignalServer::onClusterLoop(std::function<void()> work) {
    asio::io_context& io = loops_.front()->io;
    if (io.get_executor().running_in_this_thread()) work();
    else asio::post(io, std::move(work));
}

Cluster::Server SignalServer::clusterHooks() {
    Cluster::Server hooks;
    hooks.deliver = [this](std::string_view to, std::string_view line) {
        std::lock_guard lock(shared_);
        const auto it = registry_.find(to);
        if (it != registry_.end()) return deliver(*it->second, line);
        if (options_.verbose) logRefusal("message from another server for " + forLog(to) + " dropped: not joined here");
    };
    hooks.heldIds = [this] {
        std::vector<std::pair<std::string, Clock::duration>> held;
        const auto now = Clock::now();
        std::lock_guard lock(shared_);
        for (const auto& [id, c] : registry_)
            if (c->id == id) held.emplace_back(id, options_.liveWindow - (now - c->lastHeard()));
        return held;
    };
    hooks.lost = [this](const std::string& id, const std::string& holder) {
        std::lock_guard lock(shared_);
        const auto it = registry_.find(id);
        if (it == registry_.end() || it->second->id != id) return;
        asio::post(it->second->loop().io, [c = it->second->shared_from_this(), why = "its ID taken over by server " + forLog(holder)] {
            c->refuse(why);
        });
    };
    hooks.ownRelays = [this] {
        std::lock_guard lock(shared_);
        return relays_.announced();
    };
    hooks.otherRelays = [this](std::vector<Relay> relays) {
        std::lock_guard lock(shared_);
        relays_.setShared(std::move(relays));
    };
    return hooks;
}

bool SignalServer::speaksForItself(Connection& c, const LineMembers& line, std::string_view msg) {
    std::string what;
    if (c.id.empty()) {
        what = "\"" + std::string(msg) + "\" from a connection that has not joined";
        ++identityDrops_.unjoined;
    } else if (msg == "message") {
        if (line.from && *line.from == c.id) return true;
        what = "\"message\" claiming to be from " + (line.from ? forLog(*line.from) : std::string("a non-text value"));
        ++identityDrops_.spoofed;
    } else {
        return true;
    }
    ++c.identityViolations;
    const std::string count = " (" + std::to_string(c.identityViolations) + " of " +
                              std::to_string(kMaxIdentityViolations) + "; since start " +
                              std::to_string(identityDrops_.unjoined) + " unjoined, " +
                              std::to_string(identityDrops_.spoofed) + " spoofed)";
    if (c.identityViolations >= kMaxIdentityViolations) c.refuse("dropped " + what + count);
    else logRefusal(c, "dropped " + what + count);
    return false;
}

// The busiest line: it takes only the registry's read lock, so that the
// loops relay side by side.
const char* SignalServer::relay(Connection& c, const LineMembers& members, std::string_view line) {
    // The connection's own ID changes only on its own loop: readable here without a lock.
    if (c.id.empty() || !members.from || *members.from != c.id) {
        std::lock_guard lock(shared_);
        speaksForItself(c, members, "message");  // drops, logs and counts it
        return nullptr;
    }
    const auto& to = members.to;
    if (!to) return "\"to\" is not text";
    std::shared_ptr<Connection> target;
    {
        std::shared_lock lock(registryLock_);
        const auto it = registry_.find(*to);
        if (it != registry_.end()) target = it->second->shared_from_this();
    }
    // Relayed as received: every member reaches the peer byte for byte.
    if (target) deliver(*target, line);
    else if (cluster_ && !to->empty() && to->size() <= kMaxIdLength) routeElsewhere(c, std::string(*to), line);
    else c.send(envelope("invalid_id"));
    return nullptr;
}

const char* SignalServer::handleLine(Connection& c, std::string_view line) {
    if (line.empty() || line == "p") return nullptr;
    // Views into this thread's reader, valid while this line is handled.
    thread_local LineReader reader;
    LineMembers members;
    if (const char* malformed = reader.read(line, members)) return malformed;
    const auto& msg = members.msg;
    if (!msg) return "\"msg\" is not text";
    // Parsing needs no lock; what the loops share does.
    if (*msg == "message") return relay(c, members, line);
    std::lock_guard lock(shared_);

    // Only a join, a relay request and a withdrawal need no joined identity.
    if ((*msg == "publicturn" || *msg == "review") && !speaksForItself(c, members, *msg))
        return nullptr;  // logged there

    if (*msg == "join") {
        const auto& id = members.payload;
        if (!id || id->empty() || id->size() > kMaxIdLength) return "join without a usable ID";
        join(c, std::string(*id));
    } else if (*msg == "getpublicturn") {
        const auto& country = members.payload;
        const auto& type = members.type;
        if (!country || !type) return "getpublicturn with a member that is not text";
        const auto relay = relays_.choose(*country);
        JsonObjectWriter ice;
        ice.add("ice_password", relay ? std::string_view(relay->password) : std::string_view())
            .add("ice_username", relay ? std::string_view(relay->username) : std::string_view())
            .add("ice_url", relay ? std::string_view(relay->url) : std::string_view());
        c.send(envelope("publicturn", *type, ice.take()));
    } else if (*msg == "publicturn") {
        const auto ice = nlohmann::json::parse(members.payload.value_or(""), nullptr, false);
        if (ice.is_discarded() || !ice.is_object()) return "relay announcement without an ICE-server object";
        const auto url = textMember(ice, "ice_url");
        const auto user = textMember(ice, "ice_username");
        const auto password = textMember(ice, "ice_password");
        const auto country = textMember(ice, "country");
        if (!url || url->empty() || !user || !password || !country) return "relay announcement without a usable relay";
        relays_.announce(c.serial(), Relay{*url, *user, *password, *country});
    } else if (*msg == "removeturn") {
        relays_.withdraw(c.serial());
    } else if (*msg == "review") {
        const auto& payload = members.payload;
        if (!payload) return "review that is not text";
        // Each review is a line in a file on disk: neither one connection nor
        // all of them together can fill the disk.
        if (c.reviews >= options_.reviewsPerConnection)
            logRefusal(c, "review dropped: already " + std::to_string(options_.reviewsPerConnection) +
                              " reviews from this connection");
        else if (payload->size() > options_.maxReviewLength)
            logRefusal(c, "review dropped: " + std::to_string(payload->size()) + " bytes long");
        else
            appendReview(c, std::string(*payload));
    } else {
        return "unknown \"msg\"";
    }
    return nullptr;
}

void SignalServer::appendReview(Connection& c, const std::string& payload) {
    ++c.reviews;
    // A client that reconnects for every review still stores only a few a day.
    const long day = static_cast<long>(std::time(nullptr) / 86400);
    if (day != reviewDay_) {
        reviewDay_ = day;
        reviewsToday_.clear();
    }
    std::size_t& today = reviewsToday_[c.id];
    if (today >= options_.reviewsPerDay)
        return logRefusal(c, "review dropped: already " + std::to_string(options_.reviewsPerDay) +
                                 " reviews from this ID today");
    ++today;
    if (options_.reviewsFile.empty()) return;
    std::error_code ec;
    const auto size = std::filesystem::file_size(options_.reviewsFile, ec);
    if (!ec && size >= options_.reviewsFileLimit)
        return logRefusal(c, "review dropped: " + options_.reviewsFile + " has reached " +
                                 std::to_string(options_.reviewsFileLimit) + " bytes");
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    // The sender is the ID its connection joined under, not what the line claims.
    const nlohmann::json record{{"time", stamp}, {"from", c.id}, {"review", payload}};
    std::ofstream out(options_.reviewsFile, std::ios::app);
    out << record.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) << '\n';
    if (!out) log("cannot append to " + options_.reviewsFile);
}

void SignalServer::logRefusal(const Connection& c, const std::string& what) { logRefusal(c.describe() + ": " + what); }

void SignalServer::logRefusal(const std::string& text) {
    std::lock_guard lock(shared_);
    std::size_t heldBack = 0;
    if (!refusalLog_.allow(Clock::now(), heldBack)) return;
    log(heldBack ? text + " (" + std::to_string(heldBack) + " similar lines held back)" : text);
}

// One write per line, so that lines from several loops do not interleave.
void SignalServer::log(const std::string& text) const { std::cerr << ("crsignal: " + text + '\n') << std::flush; }

}  // namespace corvala::signal
