#pragma once
// One asynchronous connection to Redis (hiredis) on an Asio event loop: the
// loop never blocks on Redis. hiredis does the protocol; Asio reports when its
// socket is ready (hiredis' event hooks are mapped onto a stream_descriptor
// that watches the socket hiredis owns). A lost connection is retried with a
// growing pause; each new connection is announced so that the owner can put
// back what Redis forgot (subscriptions, registrations). A Redis that stops
// answering is treated as lost: commands waiting longer than the stall limit
// end with no reply and the connection is made anew.
//
// Everything runs on the given loop's thread: call it only from there.

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct redisAsyncContext;
struct redisReply;

namespace corvala::signal {

class RedisConnection {
public:
    // How long commands may wait unanswered before the connection is taken for lost.
    static constexpr std::chrono::seconds kStallLimit{3};
    // A reply, or nullptr when the connection went before one came.
    using Reply = std::function<void(const redisReply*)>;

    RedisConnection(asio::io_context& loop, std::string host, std::uint16_t port, std::string name);
    ~RedisConnection();
    RedisConnection(const RedisConnection&) = delete;
    RedisConnection& operator=(const RedisConnection&) = delete;

    // Connects now and again whenever the connection is lost, until stop().
    // `onConnected` runs after each successful connect.
    void start(std::function<void()> onConnected);
    // Gracefully: what was sent is still answered before the connection
    // closes (the loop must keep running meanwhile); otherwise at once.
    void stop(bool graceful = false);
    bool connected() const { return connected_; }
    // Drops the connection (waiting commands end with no reply) and makes
    // it anew, as when it is lost: for an owner that found it useless.
    void reconnect(const std::string& why);

    // Sends one command; `reply` runs once. Without a connection it runs at
    // once with nullptr.
    void command(const std::vector<std::string_view>& args, Reply reply);
    // Subscribes to `channel`; `onMessage` gets each message's payload. Only
    // this connection's subscription may run on it from then on.
    void subscribe(const std::string& channel, std::function<void(std::string_view)> onMessage);

private:
    class Watch;
    static void onConnect(const redisAsyncContext* c, int status);
    static void onDisconnect(const redisAsyncContext* c, int status);
    static void onReply(redisAsyncContext* c, void* reply, void* privdata);
    static void onSubscription(redisAsyncContext* c, void* reply, void* privdata);
    void connect();
    void sendSubscribe();
    void lost(const std::string& why);
    void retryLater();
    void watchStalls();

    asio::io_context& loop_;
    std::string host_;
    std::uint16_t port_;
    std::string name_;  // for the log
    std::function<void()> onConnected_;
    std::string channel_;
    std::function<void(std::string_view)> onMessage_;
    redisAsyncContext* context_ = nullptr;
    std::shared_ptr<Watch> watch_;
    asio::steady_timer retry_;
    asio::steady_timer stallCheck_;
    std::size_t waiting_ = 0;  // commands sent and not answered
    std::chrono::steady_clock::time_point lastAnswer_;
    std::chrono::milliseconds pause_{100};
    bool connected_ = false;
    bool stopped_ = true;
    bool wasConnected_ = false;  // since the last loss: log a loss only once
};

}  // namespace corvala::signal
