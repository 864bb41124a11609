// Dispatch of received signalling lines: which event each line raises, with
// what, and that everything else is ignored.
#include "signalling/ClientMessage.h"
#include "signalling/SignallingMessage.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace corvala;

namespace {

// Records every event as one text, in order.
struct Recorder : IClientMessageEvents {
    QStringList calls;
    void SignallingInvalidId() override { calls << u"invalid id"_qs; }
    void SignallingJoined() override { calls << u"joined"_qs; }
    void ApplyIceServerFromPayload(const IceServer& r, bool remember) override {
        calls << QStringLiteral("apply:%1|%2|%3|%4").arg(r.url, r.username, r.password, remember ? u"1" : u"0");
    }
    void SendInitAfterPublicTurn(bool n) override { calls << (n ? u"init:dialog"_qs : u"init:current"_qs); }
    void HandlePeerMessage(const QJsonObject& o) override {
        calls << u"peer:"_qs + o.value(u"type").toString() + u"|"_qs + o.value(u"from").toString();
    }
};

QByteArray line(const char* msg, const char* type = "", const QString& payload = {}) {
    return GetMessage(u"111222333"_qs, QString::fromLatin1(msg), u"444555666"_qs, QString::fromLatin1(type), payload);
}

const QString relay = IceServer{u"pw"_qs, u"user"_qs, u"turn:10.0.0.1:3478"_qs, std::nullopt}.toJson();

struct Case {
    const char* name;
    QByteArray line;
    QStringList expected;
};

class ClientMessageDispatch : public ::testing::TestWithParam<Case> {};

TEST_P(ClientMessageDispatch, RaisesTheRightEvent) {
    Recorder r;
    ClientMessage dispatch(r);
    dispatch(GetParam().line);
    EXPECT_EQ(r.calls, GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ClientMessageDispatch,
    ::testing::Values(
        Case{"invalid_id", line("invalid_id"), {u"invalid id"_qs}},
        Case{"joined", line("joined"), {u"joined"_qs}},
        Case{"joined with CR LF", line("joined") + "\r\n", {u"joined"_qs}},
        Case{"joined as the server writes it (members omitted)", R"({"msg":"joined"})", {u"joined"_qs}},
        Case{"publicturn for the dialog", line("publicturn", "newconnection", relay),
             {u"apply:turn:10.0.0.1:3478|user|pw|1"_qs, u"init:dialog"_qs}},
        Case{"publicturn for the current tab", line("publicturn", "", relay),
             {u"apply:turn:10.0.0.1:3478|user|pw|1"_qs, u"init:current"_qs}},
        Case{"publicturn whose payload is no object still sends init", line("publicturn", "", u"[1,2]"_qs),
             {u"init:current"_qs}},
        Case{"publicturn with unparsable payload", line("publicturn", "newconnection", u"{broken"_qs),
             {u"init:dialog"_qs}},
        Case{"message", line("message", "init"), {u"peer:init|111222333"_qs}},
        Case{"message without version from an older peer",
             R"({"msg":"message","from":"1","to":"2","type":"turn","payload":"","password":"","username":""})",
             {u"peer:turn|1"_qs}},
        Case{"kinds meant for the server", line("join"), {}},
        Case{"getpublicturn", line("getpublicturn"), {}},
        Case{"unknown kind", line("hello"), {}},
        Case{"kind in other case", line("Joined"), {}},
        Case{"msg not a string", R"({"msg":1})", {}},
        Case{"array", R"(["joined"])", {}},
        Case{"string", R"("joined")", {}},
        Case{"keep-alive", "p", {}},
        Case{"empty line", "", {}},
        Case{"truncated object", R"({"msg":"joined")", {}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& c : n)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST(ClientMessage, StoresTheLastRelayAsPublicRelay) {
    Recorder r;
    ClientMessage dispatch(r);
    EXPECT_FALSE(dispatch.PublicRelay());
    dispatch(line("publicturn", "", relay));
    dispatch(line("publicturn", "", u"not json"_qs));  // leaves the stored relay alone
    ASSERT_TRUE(dispatch.PublicRelay());
    EXPECT_EQ(dispatch.PublicRelay()->url, u"turn:10.0.0.1:3478");
    EXPECT_EQ(dispatch.PublicRelay()->username, u"user");
}

}  // namespace
