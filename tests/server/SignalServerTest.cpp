// crsignal over real TLS on loopback: every kind of line a client may send,
// and input that must not take the server down or disturb other clients.
// Built a second time with CORVALA_SIGNAL_TEST_WITH_REDIS: then every server
// runs with --redis, as a cluster of one with its own Redis, and no client
// may see a difference.
#include "RedisProcess.h"
#include "ServerProcess.h"
#include "SignalLines.h"
#include "TlsLineClient.h"

#include "signalling/SignallingMessage.h"
#include "signalling/WirePayloads.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <thread>

using namespace corvala;
using namespace corvala::testing;
using namespace std::chrono_literals;

namespace {

class SignalServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }

    void SetUp() override { startServer({}); }

    void startServer(std::vector<std::string> extra) {
        std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--cert", PkiFile("server.pem"),
                                      "--key", PkiFile("server.key")};
        args.insert(args.end(), extra.begin(), extra.end());
        server.reset();
#ifdef CORVALA_SIGNAL_TEST_WITH_REDIS
        redis = std::make_unique<RedisProcess>();
        ASSERT_NE(redis->port(), 0) << "redis-server did not start";
        args.insert(args.end(), {"--redis", redis->url()});
#endif
        server = std::make_unique<ServerProcess>("crsignal", args);
        ASSERT_NE(server->port(), 0) << "crsignal did not start";
    }

    std::unique_ptr<TlsLineClient> connectClient() {
        auto c = std::make_unique<TlsLineClient>();
        EXPECT_TRUE(c->connect(server->port(), PkiFile("ca.pem")));
        return c;
    }

    std::unique_ptr<TlsLineClient> joinAs(const std::string& id) {
        auto c = connectClient();
        EXPECT_TRUE(c->writeLine(joinLine(id)));
        EXPECT_EQ(c->readLine(), kJoined);
        return c;
    }

    // A join the server must refuse: no answer, the connection closed.
    void expectJoinRefused(const std::string& id) {
        auto c = connectClient();
        ASSERT_TRUE(c->writeLine(joinLine(id)));
        EXPECT_EQ(c->readLine(), std::nullopt) << "join as " << id;
        EXPECT_TRUE(c->waitClosed());
    }

    // Lines from one connection are handled in order: once the answer to this
    // request is back, everything the client sent before it has been handled.
    Envelope ask(TlsLineClient& c, const std::string& country, const std::string& type = "sync") {
        EXPECT_TRUE(c.writeLine(getPublicTurn(country, type)));
        const auto answer = c.readLine();
        EXPECT_TRUE(answer);
        return parse(answer.value_or(""));
    }

    std::string relayUrlFor(TlsLineClient& c, const std::string& country) {
        const Envelope e = ask(c, country);
        EXPECT_EQ(e.msg, u"publicturn"_qs);
        const auto ice = IceServer::FromJson(e.payload);
        EXPECT_TRUE(ice);
        return ice ? ice->url.toStdString() : std::string();
    }

    // The server is up and undisturbed: two fresh clients join and relay both ways.
    void expectServes() {
        ASSERT_TRUE(server->running());
        const std::string a = "a" + std::to_string(++fresh_), b = "b" + std::to_string(fresh_);
        auto ca = joinAs(a);
        auto cb = joinAs(b);
        const std::string ab = line(GetMessage(QString::fromStdString(a), u"message"_qs,
                                               QString::fromStdString(b), u"init"_qs, {}, u"pw"_qs, u"A"_qs, u"42"_qs));
        const std::string ba = line(GetMessage(QString::fromStdString(b), u"message"_qs,
                                               QString::fromStdString(a), u"turn"_qs, u"{}"_qs, {}, u"B"_qs, u"42"_qs));
        ASSERT_TRUE(ca->writeLine(ab));
        EXPECT_EQ(cb->readLine(), ab);
        ASSERT_TRUE(cb->writeLine(ba));
        EXPECT_EQ(ca->readLine(), ba);
    }

    // Polls a condition that the server reaches on its own time (a close it
    // has to notice); generous, so no run depends on timing luck.
    static bool eventually(const std::function<bool()>& condition) {
        for (auto until = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < until;) {
            if (condition()) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::unique_ptr<RedisProcess> redis;  // goes after the server
    std::unique_ptr<ServerProcess> server;
    int fresh_ = 0;
};

TEST_F(SignalServerTest, JoinIsAnsweredWithAFullJoinedEnvelope) {
    auto c = connectClient();
    ASSERT_TRUE(c->writeLine(line(GetMessage(u"123456789"_qs, u"join"_qs, {}, {}, u"123456789"_qs))));
    EXPECT_EQ(c->readLine(), kJoined);
}

TEST_F(SignalServerTest, MessagesArriveByteForByte) {
    auto viewer = joinAs("111111111");
    auto host = joinAs("222222222");
    const auto session = SessionInfoPayload::Make({u"p\"w"_qs, u"u/1"_qs, u"turn:127.0.0.1:5501"_qs, {}},
                                                  {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}}, 0, false,
                                                  u"AA-BB-CC-DD-EE-FF"_qs);
    const SdpObject offer{u"offer"_qs, u"v=0\r\no=- 1 2 IN IP4 127.0.0.1\r\na=group:BUNDLE 0\r\n"_qs};
    const std::vector<std::string> lines{
        line(GetMessage(u"111111111"_qs, u"message"_qs, u"222222222"_qs, u"init"_qs, {}, u"s\u00E9cr/t"_qs,
                        u"J\u00FCrgen \U0001F600"_qs, u"42"_qs)),
        line(GetMessage(u"222222222"_qs, u"message"_qs, u"111111111"_qs, u"turn"_qs, session.toJson(), {},
                        u"Host \u4E2D"_qs, u"42"_qs)),
        line(GetMessage(u"222222222"_qs, u"message"_qs, u"111111111"_qs, u"offer"_qs, offer.toJson(), {},
                        u"Host"_qs, u"42"_qs)),
        // Another writer's spelling (spaces, lower-case escapes, an extra
        // member, no version) must not be re-serialised on the way.
        R"({ "msg" : "message", "from":"222222222","to":"111111111","type":"candidate",)"
        R"("payload":"{\"label\":0}","username":"\u00e9","extra":[1,2.50,null]})",
    };
    ASSERT_TRUE(viewer->writeLine(lines[0]));
    EXPECT_EQ(host->readLine(), lines[0]);
    for (size_t i = 1; i < lines.size(); ++i) {
        ASSERT_TRUE(host->writeLine(lines[i]));
        EXPECT_EQ(viewer->readLine(), lines[i]);
    }
    const Envelope turn = parse(lines[1]);
    EXPECT_EQ(ReadSessionInfo(*ParsePayloadObject(turn.payload)).monitors.size(), 2);
    EXPECT_EQ(SdpObject::FromJson(parse(lines[2]).payload)->sdp, offer.sdp);
}

TEST_F(SignalServerTest, MessageToAnIdNobodyJoinedAnswersInvalidId) {
    auto viewer = joinAs("111");
    for (const char* to : {"999", ""}) {
        ASSERT_TRUE(viewer->writeLine(line(GetMessage(u"111"_qs, u"message"_qs, QString::fromUtf8(to), u"init"_qs))));
        EXPECT_EQ(viewer->readLine(), kInvalidId) << "to=" << to;
    }
}

TEST_F(SignalServerTest, PublicTurnRepeatsTheRequestType) {
    auto viewer = joinAs("111");
    for (const std::string type : {"newconnection", ""}) {
        const Envelope e = ask(*viewer, "DE", type);
        EXPECT_EQ(e.msg, u"publicturn"_qs);
        EXPECT_EQ(e.type.toStdString(), type);
        EXPECT_EQ(e.payload, u"{\"ice_password\":\"\",\"ice_username\":\"\",\"ice_url\":\"\"}"_qs);
    }
}

TEST_F(SignalServerTest, RelayChoicePrefersCountryThenAnyAnnouncedThenConfigured) {
    const auto relaysFile = std::filesystem::temp_directory_path() / ("crsignal-relays-" + std::to_string(getpid()));
    std::ofstream(relaysFile) << R"([{"ice_url":"turn:192.0.2.1:3478","ice_username":"cfg","ice_password":"x"}])";
    startServer({"--relays", relaysFile.string()});
    std::filesystem::remove(relaysFile);

    auto announce = [](TlsLineClient& c, const char* url, const char* country) {
        const IceServer own{u"pw"_qs, u"user"_qs, QString::fromUtf8(url), QString::fromUtf8(country)};
        ASSERT_TRUE(c.writeLine(line(GetMessage(u"h"_qs, u"publicturn"_qs, {}, {}, own.toJson()))));
    };
    auto viewer = joinAs("viewer");
    EXPECT_EQ(relayUrlFor(*viewer, "DE"), "turn:192.0.2.1:3478");  // only the configured one

    auto germanHost = joinAs("host-de");
    auto frenchHost = joinAs("host-fr");
    announce(*germanHost, "turn:198.51.100.1:5501", "DE");
    announce(*frenchHost, "turn:198.51.100.2:5502", "FR");
    relayUrlFor(*germanHost, "DE");  // both announcements are handled from here on
    relayUrlFor(*frenchHost, "FR");

    EXPECT_EQ(relayUrlFor(*viewer, "FR"), "turn:198.51.100.2:5502");
    EXPECT_EQ(relayUrlFor(*viewer, "de"), "turn:198.51.100.1:5501");
    const std::string anyAnnounced = relayUrlFor(*viewer, "US");
    EXPECT_TRUE(anyAnnounced == "turn:198.51.100.1:5501" || anyAnnounced == "turn:198.51.100.2:5502");
    // Its full ICE-server object, without the announcement's country.
    EXPECT_EQ(ask(*viewer, "FR").payload,
              u"{\"ice_password\":\"pw\",\"ice_username\":\"user\",\"ice_url\":\"turn:198.51.100.2:5502\"}"_qs);

    ASSERT_TRUE(frenchHost->writeLine(line(GetMessage(u"host-fr"_qs, u"removeturn"_qs))));
    relayUrlFor(*frenchHost, "FR");
    EXPECT_EQ(relayUrlFor(*viewer, "FR"), "turn:198.51.100.1:5501");

    germanHost.reset();  // a disconnect withdraws the announcement too
    EXPECT_TRUE(eventually([&] { return relayUrlFor(*viewer, "DE") == "turn:192.0.2.1:3478"; }));
}

// Someone joining under a host's ID while the host is connected must neither
// receive what viewers send the host nor cut the host off.
TEST_F(SignalServerTest, AJoinUnderALiveIdIsRefusedAndTheHolderKeepsItsMessages) {
    auto host = joinAs("555");
    expectJoinRefused("555");
    auto viewer = joinAs("111");
    const std::string init = messageLine("111", "555");
    ASSERT_TRUE(viewer->writeLine(init));
    EXPECT_EQ(host->readLine(), init);
    // The holder joining again on its own connection is fine.
    ASSERT_TRUE(host->writeLine(joinLine("555")));
    EXPECT_EQ(host->readLine(), kJoined);
}

// A copy that lost its network without the server noticing gets its ID back
// on its next connection once the old one has been silent for the window.
TEST_F(SignalServerTest, AnIdStaysWhileItsConnectionSpeaksAndPassesOnAfterTheSilenceWindow) {
    startServer({"--live-window", "1"});
    auto lost = joinAs("555");
    for (int i = 0; i < 6; ++i) {  // keep-alives through almost twice the window
        ASSERT_TRUE(lost->writeLine("p"));
        std::this_thread::sleep_for(300ms);
    }
    ASSERT_TRUE(lost->writeLine("p"));
    expectJoinRefused("555");

    std::this_thread::sleep_for(1500ms);  // silent for longer than the window
    auto back = joinAs("555");
    EXPECT_TRUE(lost->waitClosed()) << "the silent connection is closed when its ID passes on";
    auto viewer = joinAs("111");
    const std::string init = messageLine("111", "555");
    ASSERT_TRUE(viewer->writeLine(init));
    EXPECT_EQ(back->readLine(), init);
}

struct IdentityCase {
    const char* name;
    const char* joinAs;  // empty: the sender never joins
    std::string line;    // sent three times
    friend void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }
};

class IdentityViolation : public SignalServerTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityViolation, LineIsDroppedAndTheThirdClosesTheConnection) {
    const IdentityCase& c = GetParam();
    auto alice = joinAs("alice");
    auto bob = joinAs("bob");
    auto sender = *c.joinAs ? joinAs(c.joinAs) : connectClient();
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(sender->writeLine(c.line));
    // Two are tolerated: the sender's own request is still answered.
    EXPECT_EQ(ask(*sender, "DE").msg, u"publicturn"_qs);
    ASSERT_TRUE(sender->writeLine(c.line));
    EXPECT_TRUE(sender->waitClosed());
    // None went anywhere: bob's next line is his own answer, and no
    // announced relay is handed out.
    EXPECT_EQ(relayUrlFor(*bob, "DE"), "");
    // The claimed identity is untouched.
    ASSERT_TRUE(bob->writeLine(messageLine("bob", "alice")));
    EXPECT_EQ(alice->readLine(), messageLine("bob", "alice"));
}

const IceServer kRogueRelay{u"pw"_qs, u"user"_qs, u"turn:203.0.113.66:3478"_qs, u"DE"_qs};

INSTANTIATE_TEST_SUITE_P(
    Signal, IdentityViolation,
    ::testing::Values(
        IdentityCase{"unjoined_sender_claiming_a_joined_id", "", messageLine("alice", "bob")},
        IdentityCase{"unjoined_sender_without_from", "", R"({"msg":"message","to":"bob","type":"init"})"},
        IdentityCase{"spoofed_from", "mallory", messageLine("alice", "bob")},
        IdentityCase{"empty_from", "mallory", messageLine("", "bob")},
        IdentityCase{"from_not_text", "mallory", R"({"msg":"message","from":5,"to":"bob","type":"init"})"},
        IdentityCase{"unjoined_relay_announcement", "",
                     line(GetMessage(u"alice"_qs, u"publicturn"_qs, {}, {}, kRogueRelay.toJson()))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SignalServerTest, JoinsFromOneAddressAreRateLimited) {
    startServer({"--join-burst", "3", "--joins-per-minute", "60", "--limit-loopback"});
    auto first = joinAs("j0");
    auto second = joinAs("j1");
    auto third = joinAs("j2");
    expectJoinRefused("j3");
    ASSERT_TRUE(first->writeLine(messageLine("j0", "j3")));
    EXPECT_EQ(first->readLine(), kInvalidId) << "a refused join registers nothing";
    std::this_thread::sleep_for(1100ms);  // one token a second comes back
    joinAs("j3");
}

TEST_F(SignalServerTest, ConnectionsFromOneAddressAreLimited) {
    startServer({"--max-per-address", "3", "--limit-loopback"});
    auto joined = joinAs("a");
    auto second = connectClient();
    auto third = connectClient();
    TlsLineClient fourth;
    EXPECT_FALSE(fourth.connect(server->port(), PkiFile("ca.pem"))) << "closed before the handshake";
    second.reset();
    EXPECT_TRUE(eventually([&] { return TlsLineClient().connect(server->port(), PkiFile("ca.pem")); }));
    EXPECT_EQ(ask(*joined, "DE").msg, u"publicturn"_qs);
}

TEST_F(SignalServerTest, KeepAliveIsSilentAndReviewsAreAppended) {
    const auto reviews = std::filesystem::temp_directory_path() / ("crsignal-reviews-" + std::to_string(getpid()));
    std::filesystem::remove(reviews);
    startServer({"--reviews", reviews.string()});
    auto c = joinAs("777");
    ASSERT_TRUE(c->writeLine("p"));
    ASSERT_TRUE(c->writeLine(line(GetMessage(u"777"_qs, u"review"_qs, {}, {},
                                             u"ID:777; first review:yes; ratings:5454; review:tr\u00E8s bien"_qs))));
    EXPECT_EQ(ask(*c, "DE").msg, u"publicturn"_qs);  // "p" got no answer
    std::ifstream in(reviews);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(reviews);
    EXPECT_NE(text.find(R"("from":"777")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(ratings:5454; review:tr\u00e8s bien)"), std::string::npos) << text;
}

TEST_F(SignalServerTest, OneConnectionStoresALimitedNumberOfReviews) {
    const auto reviews = std::filesystem::temp_directory_path() / ("crsignal-reviews-" + std::to_string(getpid()));
    std::filesystem::remove(reviews);
    startServer({"--reviews", reviews.string(), "--reviews-per-connection", "3"});
    auto c = joinAs("777");
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(c->writeLine(line(GetMessage(u"777"_qs, u"review"_qs, {}, {}, u"ID:777; review:again"_qs))));
    ask(*c, "DE");
    std::ifstream in(reviews);
    int lines = 0;
    for (std::string l; std::getline(in, l);) ++lines;
    std::filesystem::remove(reviews);
    EXPECT_EQ(lines, 3);
}

// Reconnecting does not reset the bound: one ID stores only a few reviews a day.
TEST_F(SignalServerTest, OneIdStoresALimitedNumberOfReviewsADay) {
    const auto reviews = std::filesystem::temp_directory_path() / ("crsignal-reviews-" + std::to_string(getpid()));
    std::filesystem::remove(reviews);
    startServer({"--reviews", reviews.string(), "--reviews-per-connection", "2", "--reviews-per-day", "3"});
    for (int connection = 0; connection < 3; ++connection) {
        // The server must have seen the last connection go before the ID is free.
        std::unique_ptr<TlsLineClient> c;
        for (int attempt = 0; attempt < 50 && !c; ++attempt) {
            auto candidate = connectClient();
            candidate->writeLine(line(GetMessage(u"777"_qs, u"join"_qs, {}, {}, u"777"_qs)));
            if (candidate->readLine(2s) == kJoined) c = std::move(candidate);
            else std::this_thread::sleep_for(100ms);
        }
        ASSERT_TRUE(c) << "the ID never became free";
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(c->writeLine(line(GetMessage(u"777"_qs, u"review"_qs, {}, {}, u"ID:777; review:again"_qs))));
        ask(*c, "DE");
    }
    auto other = joinAs("888");
    ASSERT_TRUE(other->writeLine(line(GetMessage(u"888"_qs, u"review"_qs, {}, {}, u"ID:888; review:mine"_qs))));
    ask(*other, "DE");
    std::ifstream in(reviews);
    std::vector<std::string> stored;
    for (std::string l; std::getline(in, l);) stored.push_back(l);
    std::filesystem::remove(reviews);
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_NE(stored[3].find(R"("from":"888")"), std::string::npos) << "another ID has its own count";
}

TEST_F(SignalServerTest, ReviewsNeedAJoinedConnectionAndAreBoundedInSizeAndInTotal) {
    const auto reviews = std::filesystem::temp_directory_path() / ("crsignal-reviews-" + std::to_string(getpid()));
    std::filesystem::remove(reviews);
    // A stored review of 100 characters takes 157 bytes: the third would pass 300.
    startServer({"--reviews", reviews.string(), "--max-review", "100", "--reviews-file-limit", "300"});
    auto review = [](const char* from, QString text) {
        return line(GetMessage(QString::fromLatin1(from), u"review"_qs, {}, {}, text));
    };
    auto unjoined = connectClient();
    ASSERT_TRUE(unjoined->writeLine(review("777", u"unjoined"_qs)));
    ask(*unjoined, "DE");
    auto c = joinAs("777");
    for (const auto& l : {review("someone-else", QString(100, u'a')), review("777", QString(101, u'x')),
                          review("777", QString(100, u'b')), review("777", u"c"_qs)})
        ASSERT_TRUE(c->writeLine(l));
    ask(*c, "DE");
    std::ifstream in(reviews);
    std::vector<std::string> stored;
    for (std::string l; std::getline(in, l);) stored.push_back(l);
    std::filesystem::remove(reviews);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_NE(stored[0].find(R"("from":"777","review":"aaaa)"), std::string::npos) << "the joined ID, not the claim";
    EXPECT_NE(stored[1].find(R"("review":"bbbb)"), std::string::npos);
}

// Lines the server must ignore without dropping the connection.
TEST_F(SignalServerTest, MalformedLinesAreIgnoredAndTheConnectionStays) {
    const std::vector<std::string> bad{
        "not json",
        R"({"msg":"join","payload":"12)",
        "[1,2,3]",
        R"("join")",
        "42",
        "{}",
        R"({"msg":5})",
        R"({"msg":null,"payload":"x"})",
        R"({"msg":"frobnicate","to":"111"})",
        R"({"msg":"join","payload":{"id":"111"}})",
        R"({"msg":"join","payload":""})",
        R"({"msg":"message","to":["111"],"from":"x"})",
        R"({"msg":"getpublicturn","payload":"DE","type":7})",
        R"({"msg":"publicturn","payload":"not an object"})",
        R"({"msg":"publicturn","payload":"{\"ice_username\":\"u\"}"})",
        R"({"msg":"publicturn","payload":"{\"ice_url\":1}"})",
        R"({"msg":"review","payload":["x"]})",
        std::string("{\"msg\":\"join\",\"payload\":\"\xff\xfe\"}"),
        R"({"msg":"join","payload":"\ud800"})",
        "{\"msg\":" + std::string(8000, '[') + std::string(8000, ']') + "}",
        R"({"msg":"join","payload":1e300})",
        R"({"msg":"join","payload":-9.3e18})",
        R"({"msg":"getpublicturn","payload":"DE","type":9.3e18})",
        R"({"msg":"message","from":"111","to":1e400})",
        // A second "from" that the receiving peer might read instead.
        R"({"msg":"message","from":"111","to":"111","type":"init","from":"222"})",
        std::string("\0\0\0", 3),
    };
    auto c = joinAs("111");
    for (const auto& l : bad) ASSERT_TRUE(c->writeLine(l)) << l;
    // Nothing answered any of them, and nothing moved the registration.
    EXPECT_EQ(ask(*c, "DE").msg, u"publicturn"_qs);
    auto other = joinAs("222");
    const std::string m = line(GetMessage(u"222"_qs, u"message"_qs, u"111"_qs, u"init"_qs));
    ASSERT_TRUE(other->writeLine(m));
    EXPECT_EQ(c->readLine(), m);
    expectServes();
}

TEST_F(SignalServerTest, LineLimitIs16384Characters) {
    // The longest allowed line is served: a join padded with spaces.
    std::string longest = R"({"msg":"join","payload":"111"})";
    longest.insert(1, 16384 - longest.size(), ' ');
    auto ok = connectClient();
    ASSERT_TRUE(ok->writeLine(longest));
    EXPECT_EQ(ok->readLine(), kJoined);

    // One character more drops the connection, even without a line end yet.
    auto tooLong = connectClient();
    ASSERT_TRUE(tooLong->writeRaw(std::string(16385, 'x')));
    EXPECT_TRUE(tooLong->waitClosed());
    auto tooLongLine = connectClient();
    tooLongLine->writeLine(" " + longest);
    EXPECT_TRUE(tooLongLine->waitClosed());
    expectServes();
}

struct Misbehaviour {
    const char* name;
    std::function<void(TlsLineClient&, std::uint16_t port)> act;
};

class SignalServerAbuse : public SignalServerTest, public ::testing::WithParamInterface<Misbehaviour> {
protected:
    void SetUp() override { startServer({"--handshake-timeout", "1", "--join-timeout", "1", "--max-queue", "65536"}); }
};

TEST_P(SignalServerAbuse, ConnectionIsDroppedAndOthersAreServed) {
    auto bystander = joinAs("bystander");
    TlsLineClient c;
    GetParam().act(c, server->port());
    EXPECT_TRUE(c.waitClosed()) << GetParam().name;
    EXPECT_EQ(ask(*bystander, "DE").msg, u"publicturn"_qs);
    expectServes();
}

INSTANTIATE_TEST_SUITE_P(
    Signal, SignalServerAbuse,
    ::testing::Values(
        Misbehaviour{"plain_text_before_handshake",
                     [](TlsLineClient& c, std::uint16_t port) {
                         ASSERT_TRUE(c.connectTcp(port));
                         c.writePlain("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
                     }},
        Misbehaviour{"garbage_inside_a_handshake_record",
                     [](TlsLineClient& c, std::uint16_t port) {
                         ASSERT_TRUE(c.connectTcp(port));
                         c.writePlain(std::string("\x16\x03\x01\x00\x40", 5) + std::string(64, '\x7f'));
                     }},
        Misbehaviour{"silent_before_handshake_times_out",
                     [](TlsLineClient& c, std::uint16_t port) { ASSERT_TRUE(c.connectTcp(port)); }},
        Misbehaviour{"half_closed_before_handshake",
                     [](TlsLineClient& c, std::uint16_t port) {
                         ASSERT_TRUE(c.connectTcp(port));
                         c.writePlain(std::string("\x16\x03\x01", 3));
                         c.shutdownWrite();
                     }},
        Misbehaviour{"never_joins",
                     [](TlsLineClient& c, std::uint16_t port) {
                         ASSERT_TRUE(c.connect(port, PkiFile("ca.pem")));
                         ASSERT_TRUE(c.writeLine("p"));
                     }},
        Misbehaviour{"half_closed_after_join",
                     [](TlsLineClient& c, std::uint16_t port) {
                         ASSERT_TRUE(c.connect(port, PkiFile("ca.pem")));
                         c.writeLine(R"({"msg":"join","payload":"halfclosed"})");
                         ASSERT_EQ(c.readLine(), kJoined);
                         c.shutdownWrite();
                     }},
        Misbehaviour{"flooding_itself_without_reading",
                     [](TlsLineClient& c, std::uint16_t port) {
                         ASSERT_TRUE(c.connect(port, PkiFile("ca.pem")));
                         c.writeLine(R"({"msg":"join","payload":"flood"})");
                         ASSERT_EQ(c.readLine(), kJoined);
                         const std::string m = R"({"msg":"message","from":"flood","to":"flood","payload":")" +
                                               std::string(8000, 'f') + "\"}\r\n";
                         // Far more than the kernel's socket buffers hold: the
                         // server's own queue for this client must overflow.
                         for (int i = 0; i < 8000 && c.writeRaw(m); ++i) {
                         }
                     }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SignalServerTest, ClientThatDoesNotReadIsDroppedAndItsIdFreed) {
    startServer({"--max-queue", "65536"});
    auto slow = joinAs("slow");
    auto sender = joinAs("sender");
    const long before = server->residentKiB();
    const std::string m = line(GetMessage(u"sender"_qs, u"message"_qs, u"slow"_qs, u"offer"_qs,
                                          QString(8000, u'x')));
    // Keep sending until the server reports the recipient gone; the sender
    // itself reads its answers, so only the silent client overflows.
    bool gone = false;
    for (int round = 0; round < 200 && !gone; ++round) {
        for (int i = 0; i < 64; ++i) ASSERT_TRUE(sender->writeLine(m));
        while (const auto answer = sender->readLine(10ms)) gone = gone || *answer == kInvalidId;
    }
    EXPECT_TRUE(gone);
    EXPECT_TRUE(slow->waitClosed());
    // Memory did not follow the tens of megabytes sent at the silent client.
    EXPECT_LT(server->residentKiB() - before, 32 * 1024);
    expectServes();
}

TEST_F(SignalServerTest, IdleJoinedClientIsClosedAndItsIdFreed) {
    startServer({"--idle-timeout", "1"});
    auto idle = joinAs("idle");
    EXPECT_TRUE(idle->waitClosed());
    expectServes();
}

// Connections are spread over the event loops in turn, so neighbours in
// joining order sit on different loops whenever there is more than one.
class SignalServerLoops : public SignalServerTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override { startServer({"--threads", std::to_string(GetParam())}); }
};

TEST_P(SignalServerLoops, EveryClientReachesEveryOtherInOrderAndIdsStayWithTheirHolders) {
    constexpr int kClients = 6, kRounds = 20;
    std::vector<std::unique_ptr<TlsLineClient>> clients;
    auto id = [](int i) { return "70" + std::to_string(i); };
    auto numbered = [&](int from, int to, int round) {
        return line(GetMessage(QString::fromStdString(id(from)), u"message"_qs, QString::fromStdString(id(to)),
                               u"candidate"_qs, QString::number(round), u"pw"_qs, u"N"_qs, u"42"_qs));
    };
    for (int i = 0; i < kClients; ++i) clients.push_back(joinAs(id(i)));
    // Everyone writes everything first, so the loops relay concurrently.
    for (int round = 0; round < kRounds; ++round)
        for (int from = 0; from < kClients; ++from)
            for (int to = 0; to < kClients; ++to)
                if (to != from) ASSERT_TRUE(clients[from]->writeLine(numbered(from, to, round)));
    for (int to = 0; to < kClients; ++to) {
        // Per sender the order is kept; what one client hears from several is interleaved.
        std::map<std::string, int> heardFrom;
        for (int n = 0; n < kRounds * (kClients - 1); ++n) {
            const auto got = clients[to]->readLine();
            ASSERT_TRUE(got) << "client " << to << " after " << n << " lines";
            const Envelope e = parse(*got);
            const std::string from = e.from.toStdString();
            ASSERT_EQ(from.rfind("70", 0), 0u) << *got;
            const int round = heardFrom[from]++;
            ASSERT_EQ(*got, numbered(std::stoi(from.substr(2)), to, round)) << "client " << to;
        }
        EXPECT_EQ(heardFrom.size(), static_cast<size_t>(kClients - 1)) << "client " << to;
        for (const auto& [from, count] : heardFrom) EXPECT_EQ(count, kRounds) << from << " to " << to;
    }
    // Joins from later connections (other loops) under held IDs are refused,
    // and the holders keep being reached.
    for (int i = 0; i < 2; ++i) expectJoinRefused(id(i));
    ASSERT_TRUE(clients[1]->writeLine(messageLine(id(1), id(0))));
    EXPECT_EQ(clients[0]->readLine(), messageLine(id(1), id(0)));
    ASSERT_TRUE(clients[2]->writeLine(messageLine(id(2), "nobody")));
    EXPECT_EQ(clients[2]->readLine(), kInvalidId);
    // A holder that leaves frees its ID for a connection on any loop.
    clients[3].reset();
    EXPECT_TRUE(eventually([&] {
        auto c = connectClient();
        return c->writeLine(joinLine(id(3))) && c->readLine() == std::optional<std::string>(kJoined);
    }));
    expectServes();
}

INSTANTIATE_TEST_SUITE_P(Signal, SignalServerLoops, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return std::to_string(info.param) + "Threads"; });

TEST_F(SignalServerTest, HelpListsTheOptionsAndBadOptionsFail) {
    int exitCode = -1;
    const std::string text = RunProgram("crsignal", "--help", exitCode);
    EXPECT_EQ(exitCode, 0);
    for (const char* option : {"--port", "--cert", "--key", "--relays", "--reviews", "--max-queue",
                               "--handshake-timeout", "--join-timeout", "--idle-timeout", "--reviews-per-connection", "--reviews-per-day", "--max-review",
                               "--reviews-file-limit", "--max-connections", "--max-per-address", "--join-burst",
                               "--joins-per-minute", "--limit-loopback", "--live-window", "--threads", "--redis"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
    for (const std::string bad : {"--port 70000 --cert a --key b", "--cert a", "--frobnicate 1 --cert a --key b",
                                  "--cert /nonexistent.pem --key /nonexistent.key --port 0",
                                  "--threads 0 --cert a --key b", "--threads 257 --cert a --key b",
                                  "--redis http://x --cert a --key b", "--redis 127.0.0.1:0 --cert a --key b"}) {
        RunProgram("crsignal", bad + " 2>/dev/null", exitCode);
        EXPECT_NE(exitCode, 0) << bad;
    }
}

}  // namespace
