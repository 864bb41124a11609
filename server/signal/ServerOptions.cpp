#include "ServerOptions.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace corvala::signal {
namespace {

constexpr char kHelp[] = R"(Usage: crsignal --cert CHAIN.pem --key KEY.pem [options]

Corvala signalling server: TLS 1.2, one JSON envelope per line of at most
16384 characters (a longer line closes the connection).

Options:
  --port PORT               TCP port to listen on (default 8996; 0 picks a free one)
  --bind ADDRESS            address to listen on (default 0.0.0.0)
  --cert FILE               server certificate chain, PEM (leaf first)
  --key FILE                private key of the server certificate, PEM
  --relays FILE             JSON array of relays handed out when no host announced
                            one: [{"ice_url":"turn:HOST:PORT","ice_username":"U",
                            "ice_password":"P","country":"DE"}]
  --reviews FILE            append received reviews to FILE, one JSON line each
  --reviews-per-connection N
                            reviews stored from one connection at most (default 10)
  --reviews-per-day N       reviews stored under one ID in one UTC day at most
                            (default 5)
  --max-review BYTES        longer review texts (UTF-8) are dropped (default 16384)
  --reviews-file-limit BYTES
                            no review is appended once FILE has grown to this
                            size (default 67108864)
  --max-queue BYTES         unsent bytes allowed per connection before it is
                            dropped (default 1048576)
  --handshake-timeout SECS  close connections that have not finished the TLS
                            handshake by then (default 10)
  --join-timeout SECS       close connections that have not joined that long
                            after the handshake (default 30)
  --idle-timeout SECS       close connections silent for that long (default 75;
                            clients send a keep-alive every 15 s; 0 disables)
  --max-connections N       refuse connections beyond N (default 60000)
  --max-per-address N       refuse connections beyond N from one IPv4 address or
                            one IPv6 /64 network (default 256)
  --join-burst N            joins from one address (or /64) accepted in a row:
  --joins-per-minute N      a token bucket of N tokens (default 60), refilled at
                            this rate (default 60); a join without a token
                            closes its connection
  --limit-loopback          apply the per-address limits above to connections from
                            loopback addresses too (by default these are exempt:
                            they come from this machine, or from a local proxy
                            that all clients would share)
  --live-window SECS        a join under an ID whose connection sent anything
                            within SECS is refused (its connection is closed);
                            after SECS of silence the newer join takes the ID
                            and the silent connection is closed (default 40)
  --ws-port PORT            also accept browsers over secure WebSockets (wss://)
                            on PORT, one line per text message, with the same
                            certificate, registry, limits and checks (0 picks a
                            free port; default: no WebSocket listener)
  --threads N|auto          event loops, each on its own thread, that share the
                            connections (default auto: one per core)
  --redis URL               join a cluster of crsignal servers that share one ID
                            space through the Redis at URL (redis://HOST:PORT):
                            messages for IDs joined to another server reach it,
                            relays announced to any server are handed out by
                            all; without it the server runs alone
  --verbose                 log connections and malformed input to stderr
  --help                    show this text

Identity: a "message" is relayed only from a connection that joined, and only
when its "from" is the ID that connection joined under; relay announcements and
reviews need a joined connection too. Each dropped line is logged; the third
one closes the connection.
)";

template <typename T>
T number(std::string_view flag, std::string_view text, T min, T max) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        throw std::invalid_argument("invalid value for " + std::string(flag) + ": " + std::string(text));
    return value;
}

}  // namespace

std::optional<RedisAddress> ParseRedisUrl(std::string_view url) {
    if (url.substr(0, 8) == "redis://") url.remove_prefix(8);
    if (!url.empty() && url.back() == '/') url.remove_suffix(1);
    RedisAddress a;
    const auto colon = url.rfind(':');
    if (colon != std::string_view::npos) {
        const auto port = url.substr(colon + 1);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) return std::nullopt;
        a.port = static_cast<std::uint16_t>(value);
        url = url.substr(0, colon);
    }
    if (url.empty() || url.find_first_of("/@ ") != std::string_view::npos) return std::nullopt;
    a.host = url;
    return a;
}

std::vector<Relay> LoadRelayFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::invalid_argument("cannot read relays file " + path);
    const auto doc = nlohmann::json::parse(in, nullptr, false);
    if (!doc.is_array()) throw std::invalid_argument("relays file must hold a JSON array: " + path);
    std::vector<Relay> relays;
    for (const auto& item : doc) {
        auto text = [&](const char* key) {
            const auto it = item.find(key);
            return it != item.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        if (!item.is_object() || text("ice_url").empty())
            throw std::invalid_argument("every relay needs an ice_url: " + path);
        relays.push_back({text("ice_url"), text("ice_username"), text("ice_password"), text("country")});
    }
    return relays;
}

std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, std::string& message, int& exitCode) {
    ServerOptions o;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string_view flag = argv[i];
            if (flag == "--help" || flag == "-h") {
                message = kHelp;
                exitCode = 0;
                return std::nullopt;
            }
            if (flag == "--verbose") {
                o.verbose = true;
                continue;
            }
            if (flag == "--limit-loopback") {
                o.perSource.limitLoopback = true;
                continue;
            }
            if (i + 1 >= argc) throw std::invalid_argument("missing value for " + std::string(flag));
            const std::string_view value = argv[++i];
            if (flag == "--port") o.port = number<std::uint16_t>(flag, value, 0, 65535);
            else if (flag == "--bind") o.bindAddress = value;
            else if (flag == "--cert") o.certChainFile = value;
            else if (flag == "--key") o.keyFile = value;
            else if (flag == "--relays") o.relays = LoadRelayFile(std::string(value));
            else if (flag == "--reviews") o.reviewsFile = value;
            else if (flag == "--reviews-per-connection") o.reviewsPerConnection = number<std::size_t>(flag, value, 0, 1000000);
            else if (flag == "--reviews-per-day") o.reviewsPerDay = number<std::size_t>(flag, value, 0, 1000000);
            else if (flag == "--max-queue") o.maxQueuedBytes = number<std::size_t>(flag, value, 32768, std::size_t(1) << 32);
            else if (flag == "--handshake-timeout") o.handshakeTimeout = std::chrono::seconds(number<int>(flag, value, 1, 3600));
            else if (flag == "--join-timeout") o.joinTimeout = std::chrono::seconds(number<int>(flag, value, 1, 3600));
            else if (flag == "--idle-timeout") o.idleTimeout = std::chrono::seconds(number<int>(flag, value, 0, 86400));
            else if (flag == "--max-connections") o.maxConnections = number<std::size_t>(flag, value, 1, 10000000);
            else if (flag == "--max-per-address") o.perSource.maxConnections = number<std::size_t>(flag, value, 1, 10000000);
            else if (flag == "--join-burst") o.perSource.joinBurst = number<std::size_t>(flag, value, 1, 10000000);
            else if (flag == "--joins-per-minute") o.perSource.joinsPerMinute = number<std::size_t>(flag, value, 1, 100000000);
            else if (flag == "--live-window") o.liveWindow = std::chrono::seconds(number<int>(flag, value, 1, 86400));
            else if (flag == "--threads") o.threads = value == "auto" ? 0 : number<unsigned>(flag, value, 1, 256);
            else if (flag == "--redis") {
                o.redis = ParseRedisUrl(value);
                if (!o.redis) throw std::invalid_argument("--redis wants redis://HOST[:PORT], not " + std::string(value));
            }
            else if (flag == "--max-review") o.maxReviewLength = number<std::size_t>(flag, value, 0, 16384);
            else if (flag == "--ws-port") o.webSocketPort = number<std::uint16_t>(flag, value, 0, 65535);
            else if (flag == "--reviews-file-limit") o.reviewsFileLimit = number<std::uintmax_t>(flag, value, 0, std::uintmax_t(1) << 50);
            else throw std::invalid_argument("unknown option " + std::string(flag));
        }
        if (o.certChainFile.empty() || o.keyFile.empty())
            throw std::invalid_argument("--cert and --key are required");
    } catch (const std::exception& e) {
        message = std::string("crsignal: ") + e.what() + "\n(see crsignal --help)\n";
        exitCode = 2;
        return std::nullopt;
    }
    return o;
}

}  // namespace corvala::signal
