#include "RedisConnection.h"

#include <hiredis/async.h>
#include <hiredis/hiredis.h>

#include <poll.h>

#include <algorithm>
#include <iostream>

namespace corvala::signal {

// hiredis' event hooks on an Asio descriptor. hiredis owns the socket (it
// closes it), so the descriptor is released, never closed, at clean-up. The
// hooks mean "keep watching until told otherwise": a wait is armed again
// after each event for as long as it is wanted.
class RedisConnection::Watch : public std::enable_shared_from_this<Watch> {
public:
    Watch(asio::io_context& loop, redisAsyncContext* context) : descriptor_(loop, context->c.fd), context_(context) {}

    static void install(const std::shared_ptr<Watch>& watch) {
        redisAsyncContext* c = watch->context_;
        c->ev.data = watch.get();
        c->ev.addRead = [](void* w) { static_cast<Watch*>(w)->want(true, true); };
        c->ev.delRead = [](void* w) { static_cast<Watch*>(w)->want(true, false); };
        c->ev.addWrite = [](void* w) { static_cast<Watch*>(w)->want(false, true); };
        c->ev.delWrite = [](void* w) { static_cast<Watch*>(w)->want(false, false); };
        c->ev.cleanup = [](void* w) { static_cast<Watch*>(w)->cleanup(); };
    }

private:
    void want(bool read, bool on) {
        (read ? wantRead_ : wantWrite_) = on;
        if (on) arm(read);
    }

    void arm(bool read) {
        bool& armed = read ? readArmed_ : writeArmed_;
        if (armed || !context_) return;
        armed = true;
        descriptor_.async_wait(read ? asio::posix::descriptor_base::wait_read : asio::posix::descriptor_base::wait_write,
                               [self = shared_from_this(), read](const asio::error_code& ec) {
                                   (read ? self->readArmed_ : self->writeArmed_) = false;
                                   if (ec || !self->context_ || !(read ? self->wantRead_ : self->wantWrite_)) return;
                                   // May free the context: clean-up then clears context_.
                                   if (read) redisAsyncHandleRead(self->context_);
                                   else redisAsyncHandleWrite(self->context_);
                                   if (self->context_ && (read ? self->wantRead_ : self->wantWrite_)) self->arm(read);
                               });
    }

    void cleanup() {
        context_ = nullptr;
        wantRead_ = wantWrite_ = false;
        descriptor_.release();  // cancels the waits; hiredis closes the socket
    }

    asio::posix::stream_descriptor descriptor_;
    redisAsyncContext* context_;
    bool wantRead_ = false, wantWrite_ = false;
    bool readArmed_ = false, writeArmed_ = false;
};

RedisConnection::RedisConnection(asio::io_context& loop, std::string host, std::uint16_t port, std::string name)
    : loop_(loop), host_(std::move(host)), port_(port), name_(std::move(name)), retry_(loop), stallCheck_(loop) {}

RedisConnection::~RedisConnection() { stop(false); }

void RedisConnection::start(std::function<void()> onConnected) {
    onConnected_ = std::move(onConnected);
    stopped_ = false;
    connect();
    watchStalls();
}

void RedisConnection::watchStalls() {
    stallCheck_.expires_after(std::chrono::milliseconds(500));
    stallCheck_.async_wait([this](const asio::error_code& ec) {
        if (ec || stopped_) return;
        // Answers already waiting in the socket mean this loop was the slow one, not Redis.
        pollfd ready{context_ ? context_->c.fd : -1, POLLIN, 0};
        if (context_ && waiting_ > 0 && std::chrono::steady_clock::now() - lastAnswer_ > kStallLimit &&
            poll(&ready, 1, 0) == 0)
            reconnect(std::to_string(waiting_) + " commands unanswered for " + std::to_string(kStallLimit.count()) + " s");
        watchStalls();
    });
}

void RedisConnection::reconnect(const std::string& why) {
    redisAsyncContext* c = context_;
    if (!c) return;
    context_ = nullptr;
    lost(why);
    redisAsyncFree(c);  // the waiting commands end with no reply
}

void RedisConnection::stop(bool graceful) {
    stopped_ = true;
    retry_.cancel();
    stallCheck_.cancel();
    if (graceful && connected_ && context_) {
        connected_ = false;
        redisAsyncDisconnect(context_);  // onDisconnect follows once the replies are in
        return;
    }
    if (redisAsyncContext* c = context_) {
        context_ = nullptr;
        connected_ = false;
        redisAsyncFree(c);  // pending replies are called with nullptr
    }
}

void RedisConnection::connect() {
    if (stopped_ || context_) return;
    redisAsyncContext* c = redisAsyncConnect(host_.c_str(), port_);
    if (!c) return retryLater();
    if (c->err) {
        lost(std::string("cannot connect: ") + c->errstr);
        redisAsyncFree(c);
        return;
    }
    c->data = this;
    context_ = c;
    watch_ = std::make_shared<Watch>(loop_, c);
    Watch::install(watch_);
    redisAsyncSetConnectCallback(c, &RedisConnection::onConnect);
    redisAsyncSetDisconnectCallback(c, &RedisConnection::onDisconnect);
}

void RedisConnection::onConnect(const redisAsyncContext* c, int status) {
    auto* self = static_cast<RedisConnection*>(c->data);
    if (status != REDIS_OK) {
        // hiredis frees the context after this call.
        self->context_ = nullptr;
        return self->lost(std::string("cannot connect: ") + (c->errstr ? c->errstr : "unknown error"));
    }
    self->connected_ = true;
    self->pause_ = std::chrono::milliseconds(100);
    if (!self->wasConnected_)
        std::cerr << ("crsignal: redis " + self->name_ + " connection to " + self->host_ + ":" +
                      std::to_string(self->port_) + " up\n") << std::flush;
    self->wasConnected_ = true;
    if (self->onMessage_) self->sendSubscribe();
    if (self->onConnected_) self->onConnected_();
}

void RedisConnection::onDisconnect(const redisAsyncContext* c, int status) {
    auto* self = static_cast<RedisConnection*>(c->data);
    if (!self->context_) return;  // our own stop()
    self->context_ = nullptr;     // freed by hiredis after this call
    self->lost(status == REDIS_OK ? "closed" : std::string("lost: ") + (c->errstr ? c->errstr : "unknown error"));
}

void RedisConnection::lost(const std::string& why) {
    connected_ = false;
    if (stopped_) return;
    if (wasConnected_ || pause_ == std::chrono::milliseconds(100))
        std::cerr << ("crsignal: redis " + name_ + " connection " + why + "; retrying\n") << std::flush;
    wasConnected_ = false;
    retryLater();
}

void RedisConnection::retryLater() {
    if (stopped_) return;
    retry_.expires_after(pause_);
    pause_ = std::min(pause_ * 2, std::chrono::milliseconds(2000));
    retry_.async_wait([this](const asio::error_code& ec) {
        if (!ec) connect();
    });
}

void RedisConnection::command(const std::vector<std::string_view>& args, Reply reply) {
    if (!connected_ || !context_) return reply(nullptr);
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const auto a : args) {
        argv.push_back(a.data());
        lengths.push_back(a.size());
    }
    if (waiting_++ == 0) lastAnswer_ = std::chrono::steady_clock::now();
    auto* pending = new Reply([this, reply = std::move(reply)](const redisReply* r) {
        --waiting_;
        lastAnswer_ = std::chrono::steady_clock::now();
        reply(r);
    });
    if (redisAsyncCommandArgv(context_, &RedisConnection::onReply, pending, static_cast<int>(argv.size()), argv.data(),
                              lengths.data()) != REDIS_OK) {
        std::unique_ptr<Reply> owned(pending);
        (*owned)(nullptr);
    }
}

void RedisConnection::onReply(redisAsyncContext*, void* reply, void* privdata) {
    std::unique_ptr<Reply> pending(static_cast<Reply*>(privdata));
    (*pending)(static_cast<const redisReply*>(reply));
}

void RedisConnection::subscribe(const std::string& channel, std::function<void(std::string_view)> onMessage) {
    channel_ = channel;
    onMessage_ = std::move(onMessage);
    if (connected_) sendSubscribe();
}

void RedisConnection::sendSubscribe() {
    const char* argv[] = {"SUBSCRIBE", channel_.c_str()};
    const size_t lengths[] = {9, channel_.size()};
    redisAsyncCommandArgv(context_, &RedisConnection::onSubscription, this, 2, argv, lengths);
}

// Called for the confirmation and for every message; with nullptr when the
// connection goes.
void RedisConnection::onSubscription(redisAsyncContext*, void* reply, void* privdata) {
    auto* self = static_cast<RedisConnection*>(privdata);
    const auto* r = static_cast<const redisReply*>(reply);
    if (!r || r->type != REDIS_REPLY_ARRAY || r->elements != 3) return;
    const redisReply* kind = r->element[0];
    const redisReply* payload = r->element[2];
    if (kind->type != REDIS_REPLY_STRING || std::string_view(kind->str, kind->len) != "message" ||
        payload->type != REDIS_REPLY_STRING)
        return;
    self->onMessage_(std::string_view(payload->str, payload->len));
}

}  // namespace corvala::signal
