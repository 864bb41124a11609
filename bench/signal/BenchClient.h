#pragma once
// One signalling client of the crsignal benchmarks over real TLS: connects,
// joins under its own ID, writes lines and hands received ones on; and the
// helpers the benchmarks share.
#include <asio.hpp>
#include <asio/ssl.hpp>

#include <sys/resource.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace signal_bench {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class Client : public std::enable_shared_from_this<Client> {
public:
    // The ID follows from the index: a client made again with the same
    // index joins under the same ID, as a program that reconnects does.
    Client(asio::io_context& io, asio::ssl::context& tls, int index)
        : stream_(io, tls), keepAlive_(io), index_(index), id_("c" + std::to_string(index)) {}

    // Sends "p" this often once joined, as the program does (a cluster keeps
    // an ID registered only while its client speaks).
    void keepAlive(Clock::duration every) {
        keepAliveEvery_ = every;
        if (every == Clock::duration::zero()) return;
        keepAlive_.expires_after(every);
        keepAlive_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
            if (ec || self->closed_) return;
            self->send("p");
            self->keepAlive(self->keepAliveEvery_);
        });
    }

    std::function<void(Client&, std::string_view)> onLine;
    std::function<void(Client&, bool ok)> onJoined;
    // The connection ended after the join (by the server or by drop()).
    std::function<void(Client&)> onClosed;

    const std::string& id() const { return id_; }
    int index() const { return index_; }

    void start(const tcp::endpoint& server) {
        stream_.next_layer().async_connect(server, [self = shared_from_this()](const asio::error_code& ec) {
            if (ec) return self->fail();
            self->stream_.next_layer().set_option(tcp::no_delay(true));
            self->stream_.async_handshake(asio::ssl::stream_base::client, [self](const asio::error_code& ec) {
                if (ec) return self->fail();
                self->send(R"({"msg":"join","from":")" + self->id_ + R"(","to":"","type":"","payload":")" + self->id_ +
                           R"(","password":"","username":"","version":""})");
                self->read();
            });
        });
    }

    void send(std::string_view line) {
        outbox_.append(line);
        outbox_.append("\r\n");
        if (!writing_) flush();
    }

    // Ends the connection the way a crashed program or a lost network does:
    // no TLS close, no goodbye.
    void drop() {
        keepAlive_.cancel();
        asio::error_code ec;
        stream_.lowest_layer().close(ec);
    }

private:
    void fail() {
        if (!joined_) {
            joined_ = true;
            if (onJoined) onJoined(*this, false);
        } else if (!closed_) {
            closed_ = true;
            if (onClosed) onClosed(*this);
        }
    }

    void read() {
        stream_.async_read_some(
            asio::buffer(buffer_), [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                if (ec) return self->fail();
                std::string_view data(self->buffer_.data(), n);
                while (!data.empty()) {
                    const auto nl = data.find('\n');
                    if (nl == std::string_view::npos) {
                        self->partial_.append(data);
                        break;
                    }
                    self->partial_.append(data.substr(0, nl));
                    data.remove_prefix(nl + 1);
                    std::string_view line = self->partial_;
                    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                    if (!self->joined_) {
                        self->joined_ = true;
                        if (self->onJoined)
                            self->onJoined(*self, line.find(R"("msg":"joined")") != std::string_view::npos);
                    } else if (self->onLine) {
                        self->onLine(*self, line);
                    }
                    self->partial_.clear();
                }
                self->read();
            });
    }

    void flush() {
        writing_ = true;
        inFlight_.swap(outbox_);
        asio::async_write(stream_, asio::buffer(inFlight_),
                          [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                              self->writing_ = false;
                              if (ec) return;
                              self->inFlight_.clear();
                              if (!self->outbox_.empty()) self->flush();
                          });
    }

    asio::ssl::stream<tcp::socket> stream_;
    asio::steady_timer keepAlive_;
    Clock::duration keepAliveEvery_{};
    int index_;
    std::string id_;
    std::array<char, 8192> buffer_{};
    std::string partial_, outbox_, inFlight_;
    bool writing_ = false;
    bool joined_ = false;
    bool closed_ = false;
};

inline void raiseOpenFileLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// Runs the loop until `done` or the time limit; false on time-out.
inline bool runUntil(asio::io_context& io, const std::function<bool()>& done, Clock::duration limit) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until) return false;
        io.run_for(10ms);
    }
    return true;
}

// Connects and joins `count` clients, `inFlight` handshakes at a time, within
// `limit`. Clients whose join failed stay in the list.
struct JoinedClients {
    std::vector<std::shared_ptr<Client>> clients;
    int joined = 0;
    int failed = 0;
    double seconds = 0;
};

// With several servers, client i goes to servers[i % servers.size()].
// `first` is the first client's index (IDs follow from indices); joined
// clients send keep-alives every `keepAlive` (zero: never).
inline JoinedClients JoinAll(asio::io_context& io, asio::ssl::context& tls, const std::vector<tcp::endpoint>& servers,
                             int count, int inFlight, Clock::duration limit, int first = 0,
                             Clock::duration keepAlive = {}) {
    JoinedClients out;
    int started = 0;
    std::function<void()> startNext = [&] {
        if (started >= count) return;
        auto c = std::make_shared<Client>(io, tls, first + started++);
        c->onJoined = [&, keepAlive](Client& joined, bool ok) {
            ok ? ++out.joined : ++out.failed;
            if (ok) joined.keepAlive(keepAlive);
            startNext();
        };
        out.clients.push_back(c);
        c->start(servers[static_cast<size_t>(c->index()) % servers.size()]);
    };
    const auto start = Clock::now();
    for (int i = 0; i < inFlight; ++i) startNext();
    runUntil(
        io, [&] { return out.joined + out.failed >= count; }, limit);
    out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& c : out.clients) c->onJoined = nullptr;
    return out;
}

inline JoinedClients JoinAll(asio::io_context& io, asio::ssl::context& tls, const tcp::endpoint& server, int count,
                             int inFlight, Clock::duration limit) {
    return JoinAll(io, tls, std::vector<tcp::endpoint>{server}, count, inFlight, limit);
}

// A TLS 1.2 client context that trusts the development root.
inline void ConfigureClientTls(asio::ssl::context& tls, const std::string& caFile) {
    SSL_CTX_set_min_proto_version(tls.native_handle(), TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(tls.native_handle(), TLS1_2_VERSION);
    tls.load_verify_file(caFile);
    tls.set_verify_mode(asio::ssl::verify_peer);
}

}  // namespace signal_bench
