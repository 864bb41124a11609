#include "Cluster.h"

#include "signalling/JsonEscape.h"
#include "signalling/LineFramer.h"

#include <hiredis/hiredis.h>
#include <nlohmann/json.hpp>
#include <openssl/sha.h>

#include <algorithm>
#include <charconv>
#include <iostream>
#include <random>

namespace corvala::signal {
namespace {

constexpr std::string_view kIdKey = "crsignal:id:";
constexpr std::string_view kChannel = "crsignal:instance:";
// IDs renewed per script call: one call must not hold Redis up for long.
constexpr std::size_t kRenewBatch = 256;
// Relays this instance shares at most, and takes from the others at most.
constexpr std::size_t kMaxSharedRelays = 256;
constexpr std::size_t kMaxOtherRelays = 4096;
constexpr std::size_t kMaxRelayText = 2048;
constexpr std::size_t kMaxIdLength = 64;
constexpr std::chrono::seconds kRelayPeriod{1};
// Published to the instance's own channel; never a routed message, which
// starts with the length of its ID.
constexpr std::string_view kHeartbeat = "heartbeat";
constexpr std::chrono::seconds kHeartbeatPeriod{1};

// The holder, or "" when the caller got the ID.
constexpr char kClaim[] = R"(
local h = redis.call('GET', KEYS[1])
if h and h ~= ARGV[1] then return h end
redis.call('SET', KEYS[1], ARGV[1], 'PX', ARGV[2])
return '')";

// Renews the caller's IDs for the time given (0: silent, only checked);
// returns {index, holder, ...} for those another instance holds now.
constexpr char kRenew[] = R"(
local lost = {}
for i, k in ipairs(KEYS) do
  local h = redis.call('GET', k)
  if h and h ~= ARGV[1] then
    lost[#lost + 1] = i
    lost[#lost + 1] = h
  elseif ARGV[i + 1] ~= '0' then
    redis.call('SET', k, ARGV[1], 'PX', ARGV[i + 1])
  end
end
return lost)";

constexpr char kRelease[] = R"(
for _, k in ipairs(KEYS) do
  if redis.call('GET', k) == ARGV[1] then redis.call('DEL', k) end
end
return 0)";

// -1: nobody holds the ID; otherwise the number of instances that heard it (0: its holder is gone).
constexpr char kRoute[] = R"(
local h = redis.call('GET', KEYS[1])
if not h then return -1 end
return redis.call('PUBLISH', 'crsignal:instance:' .. h, ARGV[1]))";

// Writes the caller's relays and its sign of life; drops instances without
// one; returns the relays of all the others.
constexpr char kShareRelays[] = R"(
local me = ARGV[1]
redis.call('DEL', 'crsignal:relays:' .. me)
if #ARGV > 2 then
  redis.call('RPUSH', 'crsignal:relays:' .. me, unpack(ARGV, 3))
  redis.call('PEXPIRE', 'crsignal:relays:' .. me, ARGV[2])
end
redis.call('SET', 'crsignal:alive:' .. me, '1', 'PX', ARGV[2])
redis.call('SADD', 'crsignal:instances', me)
local out = {}
for _, m in ipairs(redis.call('SMEMBERS', 'crsignal:instances')) do
  if redis.call('EXISTS', 'crsignal:alive:' .. m) == 0 then
    redis.call('SREM', 'crsignal:instances', m)
    redis.call('DEL', 'crsignal:relays:' .. m)
  elseif m ~= me then
    for _, r in ipairs(redis.call('LRANGE', 'crsignal:relays:' .. m, 0, 255)) do out[#out + 1] = r end
  end
end
return out)";

constexpr char kLeave[] = R"(
redis.call('DEL', 'crsignal:alive:' .. ARGV[1], 'crsignal:relays:' .. ARGV[1])
redis.call('SREM', 'crsignal:instances', ARGV[1])
return 0)";

// Redis names a loaded script by the SHA-1 of its text.
std::string scriptName(std::string_view script) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(script.data()), script.size(), digest);
    std::string hex;
    for (const unsigned char b : digest) {
        constexpr char kDigits[] = "0123456789abcdef";
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::string newInstanceName() {
    std::random_device random;
    const std::uint64_t n = (std::uint64_t(random()) << 32) | random();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(n));
    return text;
}

void log(const std::string& text) { std::cerr << ("crsignal: cluster: " + text + '\n') << std::flush; }

std::string_view text(const redisReply* r) {
    return r && r->type == REDIS_REPLY_STRING ? std::string_view(r->str, r->len) : std::string_view();
}

// A relay as the others read it back: hostile until checked.
std::optional<Relay> relayFrom(std::string_view json) {
    if (json.size() > kMaxRelayText) return std::nullopt;
    const auto o = nlohmann::json::parse(json, nullptr, false);
    if (!o.is_object()) return std::nullopt;
    Relay r;
    for (auto [key, into] : {std::pair{"ice_url", &r.url}, {"ice_username", &r.username},
                             {"ice_password", &r.password}, {"country", &r.country}}) {
        const auto it = o.find(key);
        if (it == o.end() || !it->is_string()) return std::nullopt;
        *into = it->get<std::string>();
    }
    if (r.url.empty()) return std::nullopt;
    return r;
}

std::string relayText(const Relay& r) {
    JsonObjectWriter w;
    w.add("ice_url", r.url).add("ice_username", r.username).add("ice_password", r.password).add("country", r.country);
    return w.take();
}

}  // namespace

Cluster::Cluster(asio::io_context& loop, const RedisAddress& redis, Clock::duration liveWindow, Server server)
    : loop_(loop),
      liveWindow_(liveWindow),
      server_(std::move(server)),
      instance_(newInstanceName()),
      claimScript_(scriptName(kClaim)),
      routeScript_(scriptName(kRoute)),
      commands_(loop, redis.host, redis.port, "command"),
      messages_(loop, redis.host, redis.port, "message"),
      renewTimer_(loop),
      relayTimer_(loop),
      heartbeatTimer_(loop) {}

Cluster::~Cluster() = default;

Cluster::Clock::duration Cluster::renewPeriod() const {
    return std::clamp<Clock::duration>(liveWindow_ / 4, std::chrono::milliseconds(100), std::chrono::seconds(10));
}

void Cluster::start() {
    log("instance " + instance_);
    messages_.subscribe(std::string(kChannel) + instance_, [this](std::string_view m) { received(m); });
    messages_.start([this] { unheardSince_.reset(); });
    // A new connection may be to a Redis that forgot everything: register at
    // once (and restart the rounds, so that one connection runs one series).
    commands_.start([this] {
        // The busiest scripts go by name; loaded first on every connection,
        // so that a restarted Redis has them before they are called.
        for (const char* script : {kClaim, kRoute}) commands_.command({"SCRIPT", "LOAD", script}, [](const redisReply*) {});
        every(renewTimer_, renewPeriod(), &Cluster::renewIds);
        every(relayTimer_, kRelayPeriod, &Cluster::shareRelays);
        every(heartbeatTimer_, kHeartbeatPeriod, &Cluster::checkSubscription);
    });
}

void Cluster::stop() {
    if (stopped_) return;
    stopped_ = true;
    renewTimer_.cancel();
    relayTimer_.cancel();
    heartbeatTimer_.cancel();
    if (commands_.connected()) {
        std::vector<std::string> keys;
        for (const auto& [id, left] : server_.heldIds()) keys.push_back(std::string(kIdKey) + id);
        for (std::size_t at = 0; at < keys.size(); at += kRenewBatch) {
            const auto n = std::min(kRenewBatch, keys.size() - at);
            const std::string count = std::to_string(n);
            std::vector<std::string_view> args{"EVAL", kRelease, count};
            args.insert(args.end(), keys.begin() + static_cast<long>(at), keys.begin() + static_cast<long>(at + n));
            args.push_back(instance_);
            commands_.command(args, [](const redisReply*) {});
        }
        commands_.command({"EVAL", kLeave, "0", instance_}, [](const redisReply*) {});
    }
    commands_.stop(true);
    messages_.stop(false);
}

std::chrono::milliseconds Cluster::ttl(Clock::duration left) const {
    return std::max(std::chrono::milliseconds(1), std::chrono::duration_cast<std::chrono::milliseconds>(left));
}

void Cluster::claim(const std::string& id, std::function<void(Claim, const std::string&)> done) {
    const std::string key = std::string(kIdKey) + id;
    const std::string px = std::to_string(ttl(liveWindow_).count());
    commands_.command({"EVALSHA", claimScript_, "1", key, instance_, px}, [done = std::move(done)](const redisReply* r) {
        if (!r || r->type != REDIS_REPLY_STRING) return done(Claim::Unreachable, {});
        const std::string holder(text(r));
        done(holder.empty() ? Claim::Granted : Claim::HeldElsewhere, holder);
    });
}

void Cluster::release(const std::string& id) {
    const std::string key = std::string(kIdKey) + id;
    commands_.command({"EVAL", kRelease, "1", key, instance_}, [](const redisReply*) {});
}

void Cluster::route(const std::string& to, std::string_view line, std::function<void(bool)> done) {
    const std::string key = std::string(kIdKey) + to;
    std::string message = std::to_string(to.size()) + ':' + to;
    message.append(line);
    commands_.command({"EVALSHA", routeScript_, "1", key, message}, [done = std::move(done)](const redisReply* r) {
        done(r && r->type == REDIS_REPLY_INTEGER && r->integer > 0);
    });
}

// "<length of the ID>:<ID><line>", from another instance, or this
// instance's own heartbeat.
void Cluster::received(std::string_view message) {
    unheardSince_.reset();  // the subscription works
    if (message == kHeartbeat) return;
    const auto colon = message.find(':');
    std::size_t length = 0;
    const auto [end, ec] = std::from_chars(message.data(), message.data() + std::min(colon, message.size()), length);
    if (colon == std::string_view::npos || colon > 2 || ec != std::errc() || end != message.data() + colon ||
        length == 0 || length > kMaxIdLength || message.size() - colon - 1 < length ||
        message.size() - colon - 1 - length > wire::MaxLineLength) {
        log("dropped a malformed message from the bus (" + std::to_string(message.size()) + " bytes)");
        return;
    }
    server_.deliver(message.substr(colon + 1, length), message.substr(colon + 1 + length));
}

void Cluster::every(asio::steady_timer& timer, Clock::duration period, void (Cluster::*work)()) {
    if (stopped_) return;
    (this->*work)();
    timer.expires_after(period);
    timer.async_wait([this, &timer, period, work](const asio::error_code& ec) {
        if (!ec) every(timer, period, work);
    });
}

void Cluster::renewIds() {
    const auto live = server_.heldIds();
    for (std::size_t at = 0; at < live.size(); at += kRenewBatch) {
        const auto n = std::min(kRenewBatch, live.size() - at);
        std::vector<std::string> keys, ttls;
        auto ids = std::make_shared<std::vector<std::string>>();
        for (std::size_t i = at; i < at + n; ++i) {
            keys.push_back(std::string(kIdKey) + live[i].first);
            ttls.push_back(live[i].second > Clock::duration::zero() ? std::to_string(ttl(live[i].second).count()) : "0");
            ids->push_back(live[i].first);
        }
        const std::string count = std::to_string(n);
        std::vector<std::string_view> args{"EVAL", kRenew, count};
        args.insert(args.end(), keys.begin(), keys.end());
        args.push_back(instance_);
        args.insert(args.end(), ttls.begin(), ttls.end());
        commands_.command(args, [this, ids](const redisReply* r) {
            if (!r || r->type != REDIS_REPLY_ARRAY) return;
            for (std::size_t i = 0; i + 1 < r->elements; i += 2) {
                const redisReply* index = r->element[i];
                if (index->type != REDIS_REPLY_INTEGER || index->integer < 1 ||
                    static_cast<std::size_t>(index->integer) > ids->size())
                    continue;
                server_.lost((*ids)[static_cast<std::size_t>(index->integer - 1)], std::string(text(r->element[i + 1])));
            }
        });
    }
}

void Cluster::checkSubscription() {
    const auto now = Clock::now();
    // A subscription is judged by the same limit as the commands.
    if (unheardSince_ && now - *unheardSince_ > RedisConnection::kStallLimit && messages_.connected()) {
        unheardSince_.reset();
        log("no heartbeat came back through the subscription for " +
            std::to_string(RedisConnection::kStallLimit.count()) + " s: subscribing again");
        messages_.reconnect("silent");
    }
    // Judged only once Redis took it: a Redis out of reach is the command
    // connection's to notice.
    commands_.command({"PUBLISH", std::string(kChannel) + instance_, kHeartbeat}, [this, now](const redisReply* r) {
        if (r && r->type == REDIS_REPLY_INTEGER && !unheardSince_) unheardSince_ = now;
    });
}

void Cluster::shareRelays() {
    std::vector<std::string> own;
    for (const Relay& r : server_.ownRelays()) {
        if (own.size() == kMaxSharedRelays) break;
        own.push_back(relayText(r));
    }
    // Others see this instance for three rounds after its last sign of life.
    const std::string px = std::to_string(ttl(3 * kRelayPeriod).count());
    std::vector<std::string_view> args{"EVAL", kShareRelays, "0", instance_, px};
    args.insert(args.end(), own.begin(), own.end());
    commands_.command(args, [this](const redisReply* r) {
        if (!r || r->type != REDIS_REPLY_ARRAY) return;
        std::vector<Relay> relays;
        std::size_t dropped = 0;
        for (std::size_t i = 0; i < r->elements && relays.size() < kMaxOtherRelays; ++i) {
            if (auto relay = relayFrom(text(r->element[i]))) relays.push_back(std::move(*relay));
            else ++dropped;
        }
        if (dropped) log("ignored " + std::to_string(dropped) + " unusable relay records of other instances");
        server_.otherRelays(std::move(relays));
    });
}

}  // namespace corvala::signal
