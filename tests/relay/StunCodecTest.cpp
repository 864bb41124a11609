// The relay's STUN and ChannelData codec: the published test vectors of
// RFC 5769 (integrity and fingerprint over real bytes), messages the
// builder makes read back, and every bound the parser must hold.
#include "Credentials.h"
#include "StunMessage.h"

#include <gtest/gtest.h>

#include <string>

namespace corvala::relay {
namespace {

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ' || hex[i] == '\n') {
            ++i;
            continue;
        }
        out.push_back(std::uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

ByteView Text(std::string_view s) { return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

const std::string kShortTermPassword = "VOkJxbRl1RmTxUk/WvJxBt";

const Bytes kSampleRequest = FromHex(
    "0001 0058 2112a442 b7e7a701bc34d686fa87dfae"
    "8022 0010 5354554e2074657374 20636c69656e74"
    "0024 0004 6e0001ff"
    "8029 0008 932ff9b151263b36"
    "0006 0009 6576746a3a68367659 202020"
    "0008 0014 9aeaa70cbfd8cb56781ef2b5b2d3f249c1b571a2"
    "8028 0004 e57a3bcf");

const Bytes kIPv4Response = FromHex(
    "0101 003c 2112a442 b7e7a701bc34d686fa87dfae"
    "8022 000b 7465737420766563746f7220"
    "0020 0008 0001a147e112a643"
    "0008 0014 2b91f599fd9e90c38c7489f92af9ba53f06be7d7"
    "8028 0004 c07d4c96");

const Bytes kIPv6Response = FromHex(
    "0101 0048 2112a442 b7e7a701bc34d686fa87dfae"
    "8022 000b 7465737420766563746f7220"
    "0020 0014 0002a147 0113a9faa5d3f179bc25f4b5bed2b9d9"
    "0008 0014 a382954e4be67bf11784c97c8292c275bfe3ed41"
    "8028 0004 c8fb0b4c");

const Bytes kLongTermRequest = FromHex(
    "0001 0060 2112a442 78ad3433c6ad72c029da412e"
    "0006 0012 e3839ee38388e383aae38383e382afe382b9 0000"
    "0015 001c 662f2f3439396b39353464364f4c33346f4c394653547679363473 41"
    "0014 000b 6578616d706c652e6f7267 00"
    "0008 0014 f67024656dd64a3e02b8e0712e85c9a28ca89666");

// The user name of the long-term vector, and its password after SASLprep.
const std::string kVectorUser = "\xe3\x83\x9e\xe3\x83\x88\xe3\x83\xaa\xe3\x83\x83\xe3\x82\xaf\xe3\x82\xb9";

struct Vector {
    const char* name;
    const Bytes* bytes;
    Bytes key;
    StunClass cls;
    std::optional<Endpoint> mapped;
    std::optional<std::string> user;
};

TEST(StunCodec, PublishedVectorsParseAndAuthenticate) {
    const auto longTermKey = LongTermKey(kVectorUser, "example.org", "TheMatrIX");
    const Vector vectors[] = {
        {"request", &kSampleRequest, Bytes(Text(kShortTermPassword).begin(), Text(kShortTermPassword).end()),
         StunClass::Request, std::nullopt, "evtj:h6vY"},
        {"IPv4 response", &kIPv4Response, Bytes(Text(kShortTermPassword).begin(), Text(kShortTermPassword).end()),
         StunClass::Success, Endpoint(asio::ip::make_address("192.0.2.1"), 32853), std::nullopt},
        {"IPv6 response", &kIPv6Response, Bytes(Text(kShortTermPassword).begin(), Text(kShortTermPassword).end()),
         StunClass::Success, Endpoint(asio::ip::make_address("2001:db8:1234:5678:11:2233:4455:6677"), 32853),
         std::nullopt},
        {"long-term request", &kLongTermRequest, Bytes(longTermKey.begin(), longTermKey.end()), StunClass::Request,
         std::nullopt, kVectorUser},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.name);
        std::string why;
        const auto m = StunMessage::Parse(*v.bytes, &why);
        ASSERT_TRUE(m) << why;
        EXPECT_EQ(m->method(), method::Binding);
        EXPECT_EQ(m->messageClass(), v.cls);
        EXPECT_TRUE(m->integrityMatches(v.key));
        Bytes wrongKey = v.key;
        wrongKey[0] ^= 1;
        EXPECT_FALSE(m->integrityMatches(wrongKey));
        EXPECT_EQ(m->xorAddress(attr::XorMappedAddress), v.mapped);
        if (v.user) {
            EXPECT_EQ(m->text(attr::Username, 512), *v.user);
        }
    }
}

TEST(StunCodec, TamperedVectorsAreRefusedOrFailIntegrity) {
    // With a FINGERPRINT any changed byte makes the message unreadable.
    Bytes changed = kIPv4Response;
    changed[30] ^= 0x01;
    std::string why;
    EXPECT_FALSE(StunMessage::Parse(changed, &why));
    EXPECT_EQ(why, "FINGERPRINT does not match");
    // Without one, the integrity check is what catches it.
    Bytes noFingerprint = kLongTermRequest;
    noFingerprint[40] ^= 0x01;
    const auto m = StunMessage::Parse(noFingerprint);
    ASSERT_TRUE(m);
    const auto key = LongTermKey(kVectorUser, "example.org", "TheMatrIX");
    EXPECT_FALSE(m->integrityMatches(key));
}

TEST(StunCodec, BuiltMessagesReadBack) {
    const TransactionId id = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const auto key = LongTermKey("alice", "corvala", "secret");
    const Endpoint relayed(asio::ip::make_address("203.0.113.7"), 50000);
    const Endpoint mapped6(asio::ip::make_address("2001:db8::1"), 4242);
    for (const bool fingerprint : {false, true}) {
        SCOPED_TRACE(fingerprint ? "with FINGERPRINT" : "without FINGERPRINT");
        StunBuilder b(method::Allocate, StunClass::Success, id);
        b.addXorAddress(attr::XorRelayedAddress, relayed).addXorAddress(attr::XorMappedAddress, mapped6)
            .addU32(attr::Lifetime, 600).addText(attr::Software, "odd");
        const Bytes bytes = std::move(b).finish(key, fingerprint);
        std::string why;
        const auto m = StunMessage::Parse(bytes, &why);
        ASSERT_TRUE(m) << why;
        EXPECT_EQ(m->method(), method::Allocate);
        EXPECT_EQ(m->messageClass(), StunClass::Success);
        EXPECT_EQ(m->transaction(), id);
        EXPECT_EQ(m->xorAddress(attr::XorRelayedAddress), relayed);
        EXPECT_EQ(m->xorAddress(attr::XorMappedAddress), mapped6);
        EXPECT_EQ(m->u32(attr::Lifetime), 600u);
        EXPECT_EQ(m->text(attr::Software, 16), "odd");
        EXPECT_TRUE(m->integrityMatches(key));
        EXPECT_EQ(m->hasFingerprint(), fingerprint);
    }
    // Method and class survive the bit interleaving in every combination used.
    for (const auto meth : {method::Binding, method::Refresh, method::Send, method::Data, method::CreatePermission,
                            method::ChannelBind})
        for (const auto cls : {StunClass::Request, StunClass::Indication, StunClass::Success, StunClass::Error}) {
            const Bytes bytes = StunBuilder(meth, cls, id).finish({}, false);
            const auto m = StunMessage::Parse(bytes);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->method(), meth);
            EXPECT_EQ(m->messageClass(), cls);
        }
}

TEST(StunCodec, AttributesAfterIntegrityAreNotBelieved) {
    // A USERNAME appended after MESSAGE-INTEGRITY (length fixed up) is ignored.
    Bytes bytes = kLongTermRequest;
    const Bytes extra = FromHex("0006 0004 65766521");
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    bytes[3] = std::uint8_t(bytes.size() - kHeaderSize);
    const auto m = StunMessage::Parse(bytes);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text(attr::Username, 512), kVectorUser);
    EXPECT_TRUE(m->integrityMatches(LongTermKey(kVectorUser, "example.org", "TheMatrIX")));
}

TEST(StunCodec, UnknownRequiredAttributesAreListedOnce) {
    const TransactionId id{};
    StunBuilder b(method::Allocate, StunClass::Request, id);
    const std::uint8_t four[4] = {};
    b.add(0x0033, four).add(0x8033, four).add(0x0033, four).add(attr::RequestedTransport, four);
    const Bytes bytes = std::move(b).finish({}, false);
    const auto m = StunMessage::Parse(bytes);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->unknownRequired(), std::vector<std::uint16_t>{0x0033});
}

TEST(StunCodec, MalformedMessagesAreRefused) {
    const auto withLength = [](Bytes b, std::size_t length) {
        b[2] = std::uint8_t(length >> 8);
        b[3] = std::uint8_t(length);
        return b;
    };
    const Bytes header = FromHex("0001 0000 2112a442 000102030405060708090a0b");
    Bytes manyAttributes = header;
    for (std::size_t i = 0; i <= kMaxAttributes; ++i) {
        const Bytes a = FromHex("8022 0000");
        manyAttributes.insert(manyAttributes.end(), a.begin(), a.end());
    }
    Bytes afterFingerprint = kIPv4Response;
    const Bytes tail = FromHex("8022 0000");
    afterFingerprint.insert(afterFingerprint.end(), tail.begin(), tail.end());
    Bytes shortIntegrity = header;
    const Bytes mi = FromHex("0008 0004 00000000");
    shortIntegrity.insert(shortIntegrity.end(), mi.begin(), mi.end());
    Bytes pastEnd = header;
    const Bytes longAttr = FromHex("0006 0008 41414141");
    pastEnd.insert(pastEnd.end(), longAttr.begin(), longAttr.end());
    Bytes noCookie = header;
    noCookie[4] = 0;
    Bytes topBits = header;
    topBits[0] = 0xC0;
    Bytes highMethod = header;  // top bits clear, but a first byte that belongs to others
    highMethod[0] = 0x04;

    const struct {
        const char* name;
        Bytes bytes;
        const char* why;
    } cases[] = {
        {"empty", {}, "shorter than a STUN header"},
        {"19 bytes", Bytes(header.begin(), header.end() - 1), "shorter than a STUN header"},
        {"top bits set", topBits, "not a STUN first byte"},
        {"first byte above 3", highMethod, "not a STUN first byte"},
        {"no magic cookie", noCookie, "no magic cookie"},
        {"length not a multiple of four", withLength(FromHex("0001 0000 2112a442 000102030405060708090a0b 00000000"), 2),
         "length not a multiple of four"},
        {"length beyond the bytes", withLength(header, 8), "length does not match the size"},
        {"trailing bytes", withLength(FromHex("0001 0000 2112a442 000102030405060708090a0b 00000000"), 0),
         "length does not match the size"},
        {"attribute past the end", withLength(pastEnd, 8), "attribute longer than the message"},
        {"too many attributes", withLength(manyAttributes, (kMaxAttributes + 1) * 4), "too many attributes"},
        {"attribute after FINGERPRINT", withLength(afterFingerprint, kIPv4Response.size() - kHeaderSize + 4),
         "attribute after FINGERPRINT"},
        {"short MESSAGE-INTEGRITY", withLength(shortIntegrity, 8), "MESSAGE-INTEGRITY of the wrong size"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        EXPECT_FALSE(StunMessage::Parse(c.bytes, &why));
        EXPECT_EQ(why, c.why);
    }
}

TEST(StunCodec, AttributeValuesAreBounded) {
    const TransactionId id{};
    StunBuilder b(method::Allocate, StunClass::Request, id);
    const std::uint8_t badFamily[8] = {0, 0x07, 0, 0, 1, 2, 3, 4};
    const std::uint8_t shortV6[8] = {0, 0x02, 0, 0, 1, 2, 3, 4};
    b.addText(attr::Username, std::string(600, 'u')).add(attr::Lifetime, ByteView(badFamily, 3))
        .add(attr::XorPeerAddress, badFamily).add(attr::XorPeerAddress, shortV6);
    const Bytes bytes = std::move(b).finish({}, false);
    const auto m = StunMessage::Parse(bytes);
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->text(attr::Username, 512));
    EXPECT_EQ(m->text(attr::Username, 600)->size(), 600u);
    EXPECT_FALSE(m->u32(attr::Lifetime));
    const auto peers = m->xorAddresses(attr::XorPeerAddress);
    ASSERT_EQ(peers.size(), 2u);
    EXPECT_FALSE(peers[0]);
    EXPECT_FALSE(peers[1]);
}

TEST(StunCodec, ChannelDataAndStreamFraming) {
    const Bytes payload = {1, 2, 3, 4, 5};
    const Bytes padded = EncodeChannelData(0x4001, payload, true);
    const Bytes unpadded = EncodeChannelData(0x4001, payload, false);
    EXPECT_EQ(padded.size(), 12u);
    EXPECT_EQ(unpadded.size(), 9u);
    const struct {
        const char* name;
        Bytes bytes;
        bool parses;
        std::size_t streamLength;
    } cases[] = {
        {"padded", padded, true, 12},
        {"unpadded (as on UDP)", unpadded, true, 12},
        {"highest channel", EncodeChannelData(kLastChannel, payload, false), true, 12},
        {"empty data", EncodeChannelData(0x4000, {}, false), true, 4},
        {"length beyond the bytes", FromHex("4001 0010 0102"), false, 20},
        {"channel below the range", FromHex("3fff 0000"), false, 0},
        {"three bytes", FromHex("4001 00"), false, 0},
        {"not a TURN first byte", FromHex("8001 0000"), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParseChannelData(c.bytes);
        EXPECT_EQ(bool(parsed), c.parses);
        if (parsed) {
            EXPECT_EQ(Bytes(parsed->data.begin(), parsed->data.end()), Bytes(c.bytes.begin() + 4, c.bytes.begin() + 4 + c.bytes[3]));
        }
        EXPECT_EQ(StreamFrameLength(c.bytes), c.streamLength);
    }
    EXPECT_EQ(StreamFrameLength(kSampleRequest), kSampleRequest.size());
    EXPECT_EQ(StreamFrameLength(FromHex("0001 0002 2112a442")), 0u);  // STUN length not a multiple of four
}

}  // namespace
}  // namespace corvala::relay
