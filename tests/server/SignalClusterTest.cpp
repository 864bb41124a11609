// Three crsignal servers sharing one Redis, all started by the test on
// loopback, reached by clients over real TLS: one ID space across them.
#include "RedisProcess.h"
#include "ServerProcess.h"
#include "SignalLines.h"
#include "StallingProxy.h"
#include "TlsLineClient.h"

#include "signalling/WirePayloads.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <thread>

using namespace corvala;
using namespace corvala::testing;
using namespace std::chrono_literals;

namespace {

class SignalClusterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }

    void SetUp() override {
        ASSERT_NE(redis.port(), 0) << "redis-server did not start";
        startCluster({});
    }

    void startCluster(const std::vector<std::string>& extra) {
        servers.clear();
        for (int i = 0; i < 3; ++i) servers.push_back(startServer(redis.url(), extra));
    }

    static std::unique_ptr<ServerProcess> startServer(const std::string& redisUrl,
                                                      const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"),
                                      "--key", PkiFile("server.key"), "--redis", redisUrl};
        args.insert(args.end(), extra.begin(), extra.end());
        auto server = std::make_unique<ServerProcess>("crsignal", args);
        EXPECT_NE(server->port(), 0) << "crsignal did not start";
        return server;
    }

    std::unique_ptr<TlsLineClient> connectTo(int server) {
        auto c = std::make_unique<TlsLineClient>();
        EXPECT_TRUE(c->connect(servers[server]->port(), PkiFile("ca.pem")));
        return c;
    }

    std::unique_ptr<TlsLineClient> joinAt(int server, const std::string& id) {
        auto c = connectTo(server);
        EXPECT_TRUE(c->writeLine(joinLine(id)));
        EXPECT_EQ(c->readLine(), kJoined) << id << " at server " << server;
        return c;
    }

    // Joins at `server` as soon as the ID is free there, within `limit`;
    // `meanwhile` runs before each try (keep-alives of others).
    std::unique_ptr<TlsLineClient> joinOnceFree(int server, const std::string& id, std::chrono::seconds limit,
                                                const std::function<void()>& meanwhile = {}) {
        std::unique_ptr<TlsLineClient> joined;
        eventually([&] {
            if (meanwhile) meanwhile();
            auto c = connectTo(server);
            if (!c->writeLine(joinLine(id)) || c->readLine(2s) != std::optional<std::string>(kJoined)) return false;
            joined = std::move(c);
            return true;
        }, limit);
        return joined;
    }

    void expectJoinRefused(int server, const std::string& id) {
        auto c = connectTo(server);
        ASSERT_TRUE(c->writeLine(joinLine(id)));
        EXPECT_EQ(c->readLine(), std::nullopt) << "join as " << id << " at server " << server;
        EXPECT_TRUE(c->waitClosed());
    }

    // True when `line` from `from` reaches `to` as sent; false when the
    // sender hears "invalid_id" or nothing comes.
    static bool relays(TlsLineClient& from, TlsLineClient& to, const std::string& line) {
        if (!from.writeLine(line)) return false;
        // The answer comes on one of the two: poll both briefly.
        for (int i = 0; i < 40; ++i) {
            if (const auto got = to.readLine(50ms)) return *got == line;
            if (const auto back = from.readLine(0ms)) return false;
        }
        return false;
    }

    static bool eventually(const std::function<bool()>& condition, std::chrono::seconds limit = 30s) {
        for (auto until = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < until;) {
            if (condition()) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    std::string relayUrlAt(TlsLineClient& c, const std::string& country) {
        EXPECT_TRUE(c.writeLine(getPublicTurn(country, "sync")));
        const Envelope e = parse(c.readLine().value_or(""));
        const auto ice = IceServer::FromJson(e.payload);
        return ice ? ice->url.toStdString() : std::string("?");
    }

    RedisProcess redis;
    std::vector<std::unique_ptr<ServerProcess>> servers;  // go before Redis
};

TEST_F(SignalClusterTest, ClientsOnDifferentServersRelayBothWaysUnchangedAndInOrder) {
    auto viewer = joinAt(0, "111111111");
    auto host = joinAt(1, "222222222");
    auto neighbour = joinAt(1, "333333333");  // same server as the host
    const std::vector<std::pair<TlsLineClient*, std::string>> sent{
        {viewer.get(), line(GetMessage(u"111111111"_qs, u"message"_qs, u"222222222"_qs, u"init"_qs, {},
                                       u"s\u00E9cr/t"_qs, u"J\u00FCrgen \U0001F600"_qs, u"42"_qs))},
        // Another writer's spelling: not re-serialised on the way through Redis.
        {host.get(), R"({ "msg" : "message", "from":"222222222","to":"111111111","type":"candidate",)"
                     R"("payload":"{\"label\":0}","username":"\u00e9","extra":[1,2.50,null]})"},
        {neighbour.get(), messageLine("333333333", "222222222")},
    };
    ASSERT_TRUE(viewer->writeLine(sent[0].second));
    EXPECT_EQ(host->readLine(), sent[0].second);
    ASSERT_TRUE(host->writeLine(sent[1].second));
    EXPECT_EQ(viewer->readLine(), sent[1].second);
    ASSERT_TRUE(neighbour->writeLine(sent[2].second));
    EXPECT_EQ(host->readLine(), sent[2].second);

    // A burst keeps its order across servers.
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(viewer->writeLine(messageLine("111111111", "222222222", std::to_string(i).c_str())));
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(host->readLine(), messageLine("111111111", "222222222", std::to_string(i).c_str()));

    // IDs joined nowhere, on any server.
    for (int server = 0; server < 3; ++server) {
        auto c = joinAt(server, "asker" + std::to_string(server));
        for (const char* to : {"999", ""}) {
            ASSERT_TRUE(c->writeLine(messageLine("asker" + std::to_string(server), to)));
            EXPECT_EQ(c->readLine(), kInvalidId) << "to=" << to << " at server " << server;
        }
    }
}

TEST_F(SignalClusterTest, ALiveIdCannotBeTakenOverFromAnotherServer) {
    auto host = joinAt(0, "555");
    expectJoinRefused(1, "555");
    expectJoinRefused(2, "555");
    auto viewer = joinAt(2, "111");
    EXPECT_TRUE(relays(*viewer, *host, messageLine("111", "555")));
    // Gone from its server: the ID is free on the others.
    host.reset();
    auto back = joinOnceFree(1, "555", 30s);
    ASSERT_TRUE(back);
    EXPECT_TRUE(relays(*viewer, *back, messageLine("111", "555")));
}

// The live window is the registry's expiry: a silent holder loses its ID,
// the newer join on another server gets it, and the silent copy is closed.
TEST_F(SignalClusterTest, ASilentHolderPassesItsIdToAJoinOnAnotherServer) {
    startCluster({"--live-window", "2"});
    auto silent = joinAt(0, "555");
    auto viewer = joinAt(2, "111");
    expectJoinRefused(1, "555");
    auto newer = joinOnceFree(1, "555", 10s, [&] { viewer->writeLine("p"); });
    ASSERT_TRUE(newer);
    EXPECT_TRUE(silent->waitClosed(10s)) << "the silent copy is closed once its ID is elsewhere";
    EXPECT_TRUE(relays(*viewer, *newer, messageLine("111", "555")));
}

TEST_F(SignalClusterTest, AKilledServersIdsExpireAndInvalidIdFollows) {
    startCluster({"--live-window", "2"});
    auto sender = joinAt(0, "111");
    auto doomed = joinAt(1, "555");
    EXPECT_TRUE(relays(*sender, *doomed, messageLine("111", "555")));
    kill(servers[1]->pid(), SIGKILL);
    // What is sent while Redis has not yet seen the server's connections drop is lost with it.
    EXPECT_TRUE(eventually([&] {
        return sender->writeLine(messageLine("111", "555")) && sender->readLine(500ms) == std::optional<std::string>(kInvalidId);
    }, 10s));
    // Within the expiry the ID is free for a join on a surviving server.
    auto back = joinOnceFree(2, "555", 10s);
    ASSERT_TRUE(back);
    ASSERT_TRUE(sender->writeLine("p"));
    EXPECT_TRUE(relays(*sender, *back, messageLine("111", "555")));
}

TEST_F(SignalClusterTest, RelaysAnnouncedOnOneServerAreHandedOutByAnother) {
    auto host = joinAt(0, "host-de");
    auto viewer = joinAt(2, "viewer");
    EXPECT_EQ(relayUrlAt(*viewer, "DE"), "");
    const IceServer own{u"pw"_qs, u"user"_qs, u"turn:198.51.100.1:5501"_qs, u"DE"_qs};
    ASSERT_TRUE(host->writeLine(line(GetMessage(u"host-de"_qs, u"publicturn"_qs, {}, {}, own.toJson()))));
    EXPECT_TRUE(eventually([&] { return relayUrlAt(*viewer, "DE") == "turn:198.51.100.1:5501"; }));
    EXPECT_EQ(relayUrlAt(*viewer, "US"), "turn:198.51.100.1:5501") << "any announced relay before none";
    ASSERT_TRUE(viewer->writeLine(getPublicTurn("DE", "sync")));
    EXPECT_EQ(parse(viewer->readLine().value_or("")).payload,
              u"{\"ice_password\":\"pw\",\"ice_username\":\"user\",\"ice_url\":\"turn:198.51.100.1:5501\"}"_qs);
    host.reset();  // its server withdraws the announcement for all
    EXPECT_TRUE(eventually([&] { return relayUrlAt(*viewer, "DE").empty(); }));
}

TEST_F(SignalClusterTest, ServersReconnectToARestartedRedisAndRegisterTheirIdsAgain) {
    auto a = joinAt(0, "111");
    auto b = joinAt(1, "222");
    ASSERT_TRUE(relays(*a, *b, messageLine("111", "222")));
    redis.kill();
    // Meanwhile the servers still serve their own clients.
    auto local = joinAt(0, "333");
    EXPECT_TRUE(relays(*local, *a, messageLine("333", "111")));
    ASSERT_TRUE(redis.start());
    EXPECT_TRUE(eventually([&] {
        return relays(*a, *b, messageLine("111", "222")) && relays(*b, *a, messageLine("222", "111"));
    }));
    expectJoinRefused(2, "111");
    expectJoinRefused(2, "222");
}

// A Redis that stops answering (here: stopped) must not hold joins up for
// good: a server gives up on it after a few seconds and serves alone, then
// registers its IDs when Redis answers again.
TEST_F(SignalClusterTest, AHungRedisHoldsJoinsUpOnlyBriefly) {
    auto a = joinAt(0, "111");
    auto b = joinAt(1, "222");
    ASSERT_TRUE(relays(*a, *b, messageLine("111", "222")));
    ASSERT_EQ(kill(redis.pid(), SIGSTOP), 0);
    auto c = connectTo(0);
    ASSERT_TRUE(c->writeLine(joinLine("333")));
    EXPECT_EQ(c->readLine(15s), kJoined);
    EXPECT_TRUE(relays(*c, *a, messageLine("333", "111")));
    ASSERT_EQ(kill(redis.pid(), SIGCONT), 0);
    EXPECT_TRUE(eventually([&] {
        a->writeLine("p");
        b->writeLine("p");
        return relays(*b, *c, messageLine("222", "333")) && relays(*a, *b, messageLine("111", "222"));
    }));
}

// A subscription that goes silent without closing (Redis hung for that one
// connection, or a path dropping its packets) must not swallow a server's
// incoming messages for good: the server notices that its own heartbeat no
// longer comes back through it and subscribes again.
TEST_F(SignalClusterTest, AServerSubscribesAgainWhenItsSubscriptionGoesSilent) {
    StallingProxy proxy(redis.port());
    ASSERT_NE(proxy.port(), 0);
    servers[0] = startServer("redis://127.0.0.1:" + std::to_string(proxy.port()));
    auto a = joinAt(0, "111");
    auto b = joinAt(1, "222");
    ASSERT_TRUE(relays(*b, *a, messageLine("222", "111")));
    proxy.stall("SUBSCRIBE");
    EXPECT_TRUE(eventually([&] {
        a->writeLine("p");
        b->writeLine("p");
        return relays(*b, *a, messageLine("222", "111"));
    }, 20s));
    EXPECT_TRUE(relays(*a, *b, messageLine("111", "222")));
}

}  // namespace
