#include "signalling/JsonEscape.h"
#include "signalling/SignallingMessage.h"
#include "signalling/WirePayloads.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <ostream>

using namespace corvala;

namespace {

std::string escaped(std::u16string_view units) {
    std::string out;
    AppendJsonString(out, units);
    return out;
}

struct EscapeCase {
    const char* name;
    std::u16string input;
    std::string expected;
};

class EscapingTable : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapingTable, WritesEachCodeUnitAsTheTableSays) {
    EXPECT_EQ(escaped(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Signalling, EscapingTable,
    ::testing::Values(
        EscapeCase{"named_controls", u"\b\t\n\f\r", R"("\b\t\n\f\r")"},
        EscapeCase{"other_controls_as_upper_hex", std::u16string{0, 1, 0x0B, 0x1B, 0x1F},
                   R"("\u0000\u0001\u000B\u001B\u001F")"},
        EscapeCase{"quote_solidus_reverse_solidus", u"\"/\\", R"("\"\/\\")"},
        EscapeCase{"printable_ascii_and_del_unchanged", u" az~\x7F", "\" az~\x7F\""},
        EscapeCase{"first_code_unit_above_127", u"\x80", R"("\u0080")"},
        EscapeCase{"latin_letters_upper_hex", u"Zo\u00EB\u00FF", R"("Zo\u00EB\u00FF")"},
        EscapeCase{"bmp_symbol", u"\u20AC", R"("\u20AC")"},
        EscapeCase{"outside_bmp_as_two_escapes", u"\U0001F600", R"("\uD83D\uDE00")"},
        EscapeCase{"lone_surrogate_kept_as_unit", std::u16string{0xDC00}, R"("\uDC00")"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EscapingUtf8, DecodesToTheSameUnitsAsUtf16Input) {
    std::string out;
    AppendJsonStringUtf8(out, "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80 a/b");
    EXPECT_EQ(out, R"("Zo\u00EB \u20AC \uD83D\uDE00 a\/b")");
}

TEST(EscapingUtf8, InvalidBytesBecomeReplacementCharactersNotRawBytes) {
    // a stray continuation byte, an overlong "/", a truncated sequence, an encoded surrogate
    std::string out;
    AppendJsonStringUtf8(out, std::string("\x80|\xC0\xAF|\xE2\x82|\xED\xA0\x80", 11));
    EXPECT_EQ(out, R"("\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD")");
}

TEST(JsonObjectWriter, KeepsMemberOrderAndWritesNumbersBare) {
    JsonObjectWriter w;
    w.add("b", std::string_view("x")).addNumber("a", -3);
    EXPECT_EQ(w.take(), R"({"b":"x","a":-3})");
    EXPECT_EQ(w.take(), "{}");
}

TEST(GetMessage, WritesAllEightMembersInOrderEvenWhenEmpty) {
    EXPECT_EQ(GetMessage(u"123456789"_qs, u"join"_qs, {}, {}, u"123456789"_qs),
              R"({"msg":"join","from":"123456789","to":"","type":"","payload":"123456789","password":"","username":"","version":""})");
}

TEST(GetMessage, PeerMessageWithNonAsciiNameAndSlashIsPureAscii) {
    const QByteArray line = GetMessage(u"111"_qs, u"message"_qs, u"222"_qs, u"init"_qs, {},
                                       u"p/w"_qs, u"J\u00FCrgen \u4E2D"_qs, u"42"_qs);
    EXPECT_EQ(line, R"({"msg":"message","from":"111","to":"222","type":"init","payload":"","password":"p\/w","username":"J\u00FCrgen \u4E2D","version":"42"})");
    for (char c : line) EXPECT_LT(static_cast<unsigned char>(c), 128);
}

TEST(GetMessage, OfferSdpCrLfIsEscapedTwice) {
    const SdpObject sdp{u"offer"_qs, u"v=0\r\no=- 1 2 IN IP4 127.0.0.1\r\n"_qs};
    const QByteArray line =
        GetMessage(u"111"_qs, u"message"_qs, u"222"_qs, u"offer"_qs, sdp.toJson(), {}, u"host"_qs, u"42"_qs);
    EXPECT_TRUE(line.contains(R"(v=0\\r\\no=- 1 2 IN IP4 127.0.0.1\\r\\n)")) << line.toStdString();
    EXPECT_TRUE(line.contains(R"("payload":"{\"type\":\"offer\",\"sdp\":)")) << line.toStdString();

    const auto object = ParseSignallingLine(line);
    ASSERT_TRUE(object);
    const auto back = SdpObject::FromJson(Envelope::FromObject(*object).payload);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sdp, sdp.sdp);
    EXPECT_EQ(back->type, sdp.type);
}

TEST(GetMessage, NestedNonAsciiIsEscapedTwiceAndRoundTrips) {
    const ErrorObject error{u"invalid_password"_qs, u"p\u00E4ss"_qs};
    EXPECT_EQ(error.toJson(), R"({"type":"invalid_password","payload":"p\u00E4ss"})");
    const QByteArray line = GetMessage(u"1"_qs, u"message"_qs, u"2"_qs, u"error"_qs, error.toJson());
    EXPECT_TRUE(line.contains(R"(\"payload\":\"p\\u00E4ss\")")) << line.toStdString();
    const auto back = ErrorObject::FromJson(Envelope::FromObject(*ParseSignallingLine(line)).payload);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->payload, error.payload);
}

TEST(CandidateObject, LabelIsTheOnlyNumber) {
    const CandidateObject c{1, u"video0"_qs, u"candidate:1 1 UDP 2122 127.0.0.1 5000 typ host"_qs};
    EXPECT_EQ(c.toJson(),
              R"({"label":1,"id":"video0","candidate":"candidate:1 1 UDP 2122 127.0.0.1 5000 typ host"})");
    const auto back = CandidateObject::FromJson(c.toJson());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->label, 1);
    EXPECT_EQ(back->candidate, c.candidate);
}

TEST(IceServer, CountryOnlyWhenSet) {
    IceServer relay{u"pw"_qs, u"user"_qs, u"turn:203.0.113.5:5501"_qs, std::nullopt};
    EXPECT_EQ(relay.toJson(), R"({"ice_password":"pw","ice_username":"user","ice_url":"turn:203.0.113.5:5501"})");
    relay.country = u"DE"_qs;
    EXPECT_EQ(relay.toJson(),
              R"({"ice_password":"pw","ice_username":"user","ice_url":"turn:203.0.113.5:5501","country":"DE"})");
    EXPECT_FALSE(IceServer::FromJson(u"not json"_qs));
    EXPECT_FALSE(IceServer::FromJson(u"[1]"_qs));
}

struct ParseCase {
    const char* name;
    QByteArray line;
    bool isObject;
};

class ParsingTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParsingTable, AcceptsOnlyJsonObjects) {
    EXPECT_EQ(ParseSignallingLine(GetParam().line).has_value(), GetParam().isObject);
}

INSTANTIATE_TEST_SUITE_P(
    Signalling, ParsingTable,
    ::testing::Values(ParseCase{"object_with_crlf", R"({"msg":"joined"})" "\r\n", true},
                      ParseCase{"object_with_lf", R"({"msg":"joined"})" "\n", true},
                      ParseCase{"keep_alive", "p", false},
                      ParseCase{"array", "[1,2]", false},
                      ParseCase{"string", R"("joined")", false},
                      ParseCase{"truncated", R"({"msg":"joi)", false},
                      ParseCase{"empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Envelope, AcceptsAnyValidEscapingAndReadsMissingMembersAsEmpty) {
    // lower-case hex, raw UTF-8 and an unescaped solidus from another writer
    const auto o = ParseSignallingLine("{\"msg\":\"message\",\"from\":\"a/b\",\"type\":\"init\","
                                       "\"username\":\"\\u00e9 \xC3\xA9\",\"password\":5}\r\n");
    ASSERT_TRUE(o);
    const Envelope e = Envelope::FromObject(*o);
    EXPECT_EQ(e.msg, u"message"_qs);
    EXPECT_EQ(e.from, u"a/b"_qs);
    EXPECT_EQ(e.username, u"\u00E9 \u00E9"_qs);
    EXPECT_EQ(e.version, QString());   // an older peer without `version`
    EXPECT_EQ(e.password, QString());  // not a string
}

TEST(Envelope, LineRoundTripsEveryMember) {
    const Envelope e{u"message"_qs, u"1"_qs, u"2"_qs, u"turn"_qs, u"{\"a\":\"\\\"\"}"_qs,
                     u"\t\u00E4"_qs, u"\U0001F600"_qs, u"42"_qs};
    const auto o = ParseSignallingLine(e.toLine());
    ASSERT_TRUE(o);
    const Envelope back = Envelope::FromObject(*o);
    EXPECT_EQ(back.payload, e.payload);
    EXPECT_EQ(back.password, e.password);
    EXPECT_EQ(back.username, e.username);
    EXPECT_EQ(back.toLine(), e.toLine());
}

// Two monitors side by side, as in the documented example.
const QList<MonitorRect> kTwoMonitors{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};

TEST(SessionInfoPayload, TwoMonitorsSendTheListInOrder) {
    const auto p = SessionInfoPayload::Make({u"pw"_qs, u"u"_qs, u"turn:1.2.3.4:5"_qs, u"DE"_qs},
                                            kTwoMonitors, 0, false, u"AA-BB"_qs);
    EXPECT_EQ(p.toJson(),
              R"({"ice_password":"pw","ice_username":"u","ice_url":"turn:1.2.3.4:5",)"
              R"("screen_monitorcount":"2","screen_monitorcoordinates":"m0l0m0t0m0w1920m0h1080m1l1920m1t0m1w1280m1h1024m",)"
              R"("screen_primarymonitor":"0","screen_desktopleft":"0","screen_desktoptop":"0",)"
              R"("screen_desktopwidth":"3200","screen_desktopheight":"1080","hw_macaddress":"AA-BB"})");
}

TEST(SessionInfoPayload, OneOrTooManyMonitorsSendOnlyTheDesktopSize) {
    QList<MonitorRect> twelve;
    for (int i = 0; i < 12; ++i) twelve.append({i * 100, 0, 100, 50});
    for (const auto& monitors : {QList<MonitorRect>{{0, 0, 800, 600}}, twelve}) {
        const auto p = SessionInfoPayload::Make({}, monitors, 0, false, u"M"_qs);
        const auto o = *ParsePayloadObject(p.toJson());
        EXPECT_FALSE(o.contains(u"screen_monitorcount"));
        EXPECT_FALSE(o.contains(u"screen_monitorcoordinates"));
        EXPECT_EQ(o.keys().size(), 6);  // three ice members, width, height, MAC
        EXPECT_EQ(MemberText(o, u"screen_desktopwidth").toInt(), monitors.size() == 1 ? 800 : 1200);
    }
}

TEST(SessionInfoPayload, LockScreenLeavesOutEveryScreenMember) {
    const auto p = SessionInfoPayload::Make({}, kTwoMonitors, 1, true, u"M"_qs);
    EXPECT_EQ(p.toJson(), R"({"ice_password":"","ice_username":"","ice_url":"","hw_macaddress":"M"})");
}

TEST(SessionInfoPayload, ViewerReadsBackTheLayoutIncludingNegativeOrigins) {
    const QList<MonitorRect> monitors{{0, 0, 1920, 1080}, {-1280, -200, 1280, 1024}, {1920, 0, 800, 600}};
    const auto p = SessionInfoPayload::Make({}, monitors, 0, false, u"M"_qs);
    const RemoteScreenLayout layout = ReadSessionInfo(*ParsePayloadObject(p.toJson()));
    ASSERT_EQ(layout.monitors.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(layout.monitors[i].rect, monitors[i]) << i;
        EXPECT_EQ(layout.monitors[i].primary, i == 0);
    }
    EXPECT_EQ(layout.currentMonitor, 0);
    EXPECT_EQ(layout.desktopLeft, -1280);
    EXPECT_EQ(layout.desktopTop, -200);
    EXPECT_EQ(layout.desktopWidth, 4000);
    EXPECT_EQ(layout.desktopHeight, 1280);
}

TEST(SessionInfoPayload, SingleMonitorAndLockScreenPayloadsRead) {
    RemoteScreenLayout one = ReadSessionInfo(*ParsePayloadObject(
        SessionInfoPayload::Make({}, {{0, 0, 1024, 768}}, 0, false, {}).toJson()));
    EXPECT_TRUE(one.monitors.isEmpty());
    EXPECT_EQ(one.currentMonitor, 0);
    EXPECT_EQ(one.desktopWidth, 1024);
    EXPECT_EQ(one.desktopHeight, 768);
    RemoteScreenLayout locked = ReadSessionInfo(*ParsePayloadObject(
        SessionInfoPayload::Make({}, kTwoMonitors, 0, true, {}).toJson()));
    EXPECT_TRUE(locked.monitors.isEmpty());
    EXPECT_FALSE(locked.desktopWidth);  // the caller keeps what it had
}

TEST(MonitorCoordinates, ValueRunsToTheNextM) {
    const QString text = u"m0l0m0t0m0w1920m0h1080m1l1920m1t0m1w1280m1h1024m"_qs;
    EXPECT_EQ(ReadMonitorCoordinate(text, 1, u'l'), 1920);
    EXPECT_EQ(ReadMonitorCoordinate(text, 1, u'h'), 1024);
    EXPECT_EQ(ReadMonitorCoordinate(text, 0, u'w'), 1920);
    EXPECT_FALSE(ReadMonitorCoordinate(text, 2, u'l'));
}

TEST(SessionInfoPayload, HugeMonitorCountDoesNotAllocateWithoutBound) {
    QJsonObject o;
    o.insert(u"screen_monitorcount", u"2000000000"_qs);
    o.insert(u"screen_monitorcoordinates", u"m"_qs);
    EXPECT_LE(ReadSessionInfo(o).monitors.size(), 10);
}

// Numbers a peer may write anywhere a member is read as text. Only whole
// numbers inside the 64-bit range have a decimal text; the rest reads as
// nothing instead of going through an undefined conversion.
struct NumberCase {
    const char* name;
    const char* json;  // the member's value as written on the wire
    QString text;      // what MemberText makes of it
    bool candidate;    // whether a candidate with this label is read at all
    int label;
    friend void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.json; }
};

class NumberReading : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberReading, ReadsOnlyWhatFitsAndRefusesTheRest) {
    const NumberCase& c = GetParam();
    const QString member = QString::fromLatin1(c.json);
    const auto o = ParsePayloadObject(u"{\"n\":"_qs + member + u"}"_qs);
    ASSERT_TRUE(o) << c.json;
    EXPECT_EQ(MemberText(*o, u"n").toStdString(), c.text.toStdString());

    const auto candidate = CandidateObject::FromJson(u"{\"label\":"_qs + member + u",\"id\":\"0\",\"candidate\":\"c\"}"_qs);
    ASSERT_EQ(candidate.has_value(), c.candidate);
    if (candidate) {
        EXPECT_EQ(candidate->label, c.label);
    }

    // The viewer's screen layout reads the same numbers without a crash;
    // a value it cannot use counts as 0.
    QJsonObject layout = *ParsePayloadObject(u"{\"screen_monitorcount\":\"2\",\"screen_primarymonitor\":"_qs +
                                             member + u",\"screen_desktopwidth\":"_qs + member + u"}"_qs);
    const RemoteScreenLayout read = ReadSessionInfo(layout);
    EXPECT_EQ(read.desktopWidth, c.text.toInt());
}

INSTANTIATE_TEST_SUITE_P(
    Signalling, NumberReading,
    ::testing::Values(NumberCase{"small_whole", "1", u"1"_qs, true, 1},
                      NumberCase{"negative_label_is_no_m_line", "-7", u"-7"_qs, false, 0},
                      NumberCase{"fraction_truncated", "2.75", u"2"_qs, true, 2},
                      NumberCase{"label_beyond_int", "3000000000", u"3000000000"_qs, false, 0},
                      NumberCase{"largest_64_bit", "9223372036854775807", u"9223372036854775807"_qs, false, 0},
                      NumberCase{"smallest_64_bit", "-9223372036854775808", u"-9223372036854775808"_qs, false, 0},
                      NumberCase{"just_beyond_64_bit", "9.3e18", QString(), false, 0},
                      NumberCase{"just_below_64_bit", "-9.3e18", QString(), false, 0},
                      NumberCase{"huge", "1e300", QString(), false, 0},
                      NumberCase{"huge_negative", "-1e300", QString(), false, 0},
                      NumberCase{"number_as_text_is_text", "\"NaN\"", u"NaN"_qs, false, 0},
                      NumberCase{"infinity_as_text", "\"-Infinity\"", u"-Infinity"_qs, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NumberReading, NumberLikeWordsAndNumbersBeyondDoubleAreNoJson) {
    for (const char* bad : {R"({"label":NaN})", R"({"label":Infinity})", R"({"label":-Infinity})", R"({"label":0x10})",
                            R"({"label":1e400})"})
        EXPECT_FALSE(ParsePayloadObject(QString::fromLatin1(bad))) << bad;
}

}  // namespace
