#include "StunMessage.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <zlib.h>

#include <algorithm>

namespace corvala::relay {
namespace {

constexpr std::uint32_t kFingerprintXor = 0x5354554E;
constexpr std::size_t kIntegritySize = 20;

std::uint16_t get16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }
std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
void put16(Bytes& b, std::uint16_t v) {
    b.push_back(std::uint8_t(v >> 8));
    b.push_back(std::uint8_t(v));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, std::uint16_t(v >> 16));
    put16(b, std::uint16_t(v));
}
void set16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v >> 8);
    b[at + 1] = std::uint8_t(v);
}

bool fail(std::string* why, const char* reason) {
    if (why) *why = reason;
    return false;
}

bool knownRequired(std::uint16_t type) {
    static constexpr std::uint16_t kKnown[] = {
        attr::MappedAddress, attr::Username, attr::MessageIntegrity, attr::ErrorCode, attr::UnknownAttributes,
        attr::ChannelNumber, attr::Lifetime, attr::XorPeerAddress, attr::Data, attr::Realm, attr::Nonce,
        attr::XorRelayedAddress, attr::RequestedAddressFamily, attr::EvenPort, attr::RequestedTransport,
        attr::MessageIntegritySha256, attr::XorMappedAddress, attr::ReservationToken, attr::Priority,
        attr::UseCandidate};
    return std::find(std::begin(kKnown), std::end(kKnown), type) != std::end(kKnown);
}

}  // namespace

PacketKind KindOf(ByteView bytes) {
    if (bytes.empty()) return PacketKind::Other;
    if (bytes[0] <= 3) return PacketKind::Stun;
    if (bytes[0] >= 0x40 && bytes[0] <= 0x7F) return PacketKind::ChannelData;
    return PacketKind::Other;
}

std::optional<StunMessage> StunMessage::Parse(ByteView bytes, std::string* why) {
    const auto refuse = [&](const char* reason) {
        fail(why, reason);
        return std::nullopt;
    };
    if (bytes.size() < kHeaderSize) return refuse("shorter than a STUN header");
    const std::uint8_t* p = bytes.data();
    const std::uint16_t type = get16(p);
    const std::size_t length = get16(p + 2);
    // The first byte is what tells STUN from everything else on the port.
    if (KindOf(bytes) != PacketKind::Stun) return refuse("not a STUN first byte");
    if (get32(p + 4) != kMagicCookie) return refuse("no magic cookie");
    if (length % 4 != 0) return refuse("length not a multiple of four");
    if (kHeaderSize + length != bytes.size()) return refuse("length does not match the size");

    StunMessage m;
    m.bytes_ = bytes;
    m.method_ = std::uint16_t((type & 0x000F) | ((type & 0x00E0) >> 1) | ((type & 0x3E00) >> 2));
    m.class_ = StunClass(((type >> 4) & 1) | ((type >> 7) & 2));
    std::copy_n(p + 8, 12, m.transaction_.begin());

    bool afterIntegrity = false;
    for (std::size_t at = kHeaderSize; at < bytes.size();) {
        if (bytes.size() - at < 4) return refuse("attribute header cut short");
        const std::uint16_t attrType = get16(p + at);
        const std::size_t attrLength = get16(p + at + 2);
        const std::size_t padded = (attrLength + 3) & ~std::size_t(3);
        if (padded > bytes.size() - at - 4) return refuse("attribute longer than the message");
        const ByteView value = bytes.subspan(at + 4, attrLength);
        if (attrType == attr::Fingerprint) {
            if (attrLength != 4) return refuse("FINGERPRINT of the wrong size");
            if (at + 8 != bytes.size()) return refuse("attribute after FINGERPRINT");
            if (get32(value.data()) != FingerprintOf(bytes.first(at))) return refuse("FINGERPRINT does not match");
            m.hasFingerprint_ = true;
        } else if (attrType == attr::MessageIntegrity && !afterIntegrity) {
            if (attrLength != kIntegritySize) return refuse("MESSAGE-INTEGRITY of the wrong size");
            m.integrityOffset_ = at;
            afterIntegrity = true;
        }
        // What follows MESSAGE-INTEGRITY is not covered by it and so not believed.
        if (!afterIntegrity || attrType == attr::MessageIntegrity) {
            if (m.attributes_.size() == kMaxAttributes) return refuse("too many attributes");
            if (attrType != attr::MessageIntegrity || m.integrityOffset_ == at) m.attributes_.push_back({attrType, value});
        }
        at += 4 + padded;
    }
    return m;
}

const StunAttribute* StunMessage::find(std::uint16_t type) const {
    for (const auto& a : attributes_)
        if (a.type == type) return &a;
    return nullptr;
}

std::vector<std::uint16_t> StunMessage::unknownRequired() const {
    std::vector<std::uint16_t> unknown;
    for (const auto& a : attributes_)
        if (a.type < 0x8000 && !knownRequired(a.type) &&
            std::find(unknown.begin(), unknown.end(), a.type) == unknown.end())
            unknown.push_back(a.type);
    return unknown;
}

std::optional<std::string_view> StunMessage::text(std::uint16_t type, std::size_t maxBytes) const {
    const StunAttribute* a = find(type);
    if (!a || a->value.size() > maxBytes) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(a->value.data()), a->value.size());
}

std::optional<std::uint32_t> StunMessage::u32(std::uint16_t type) const {
    const StunAttribute* a = find(type);
    if (!a || a->value.size() != 4) return std::nullopt;
    return get32(a->value.data());
}

std::optional<Endpoint> StunMessage::xorAddress(std::uint16_t type) const {
    const StunAttribute* a = find(type);
    return a ? decodeXorAddress(*a) : std::nullopt;
}

std::vector<std::optional<Endpoint>> StunMessage::xorAddresses(std::uint16_t type) const {
    std::vector<std::optional<Endpoint>> all;
    for (const auto& a : attributes_)
        if (a.type == type) all.push_back(decodeXorAddress(a));
    return all;
}

std::optional<Endpoint> StunMessage::decodeXorAddress(const StunAttribute& attribute) const {
    const StunAttribute* a = &attribute;
    if (a->value.size() < 4) return std::nullopt;
    const std::uint8_t* v = a->value.data();
    const std::uint16_t port = get16(v + 2) ^ std::uint16_t(kMagicCookie >> 16);
    if (v[1] == 0x01 && a->value.size() == 8) {
        return Endpoint(asio::ip::address_v4(get32(v + 4) ^ kMagicCookie), port);
    }
    if (v[1] == 0x02 && a->value.size() == 20) {
        asio::ip::address_v6::bytes_type raw;
        const std::uint8_t cookie[4] = {0x21, 0x12, 0xA4, 0x42};
        for (std::size_t i = 0; i < 16; ++i) raw[i] = v[4 + i] ^ (i < 4 ? cookie[i] : transaction_[i - 4]);
        return Endpoint(asio::ip::address_v6(raw), port);
    }
    return std::nullopt;
}

bool StunMessage::integrityMatches(ByteView key) const {
    if (!integrityOffset_) return false;
    // The digest covers the message up to the attribute, with the header's
    // length counting up to the attribute's end.
    Bytes covered(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(integrityOffset_));
    set16(covered, 2, std::uint16_t(integrityOffset_ + 4 + kIntegritySize - kHeaderSize));
    const auto digest = HmacSha1(key, covered);
    const ByteView sent = bytes_.subspan(integrityOffset_ + 4, kIntegritySize);
    return CRYPTO_memcmp(digest.data(), sent.data(), kIntegritySize) == 0;
}

StunBuilder::StunBuilder(std::uint16_t method, StunClass cls, const TransactionId& transaction)
    : transaction_(transaction) {
    const auto c = std::uint16_t(cls);
    const std::uint16_t type = std::uint16_t((method & 0x000F) | ((method & 0x0070) << 1) | ((method & 0x0F80) << 2) |
                                             ((c & 1) << 4) | ((c & 2) << 7));
    put16(bytes_, type);
    put16(bytes_, 0);
    put32(bytes_, kMagicCookie);
    bytes_.insert(bytes_.end(), transaction.begin(), transaction.end());
}

StunBuilder& StunBuilder::add(std::uint16_t type, ByteView value) {
    put16(bytes_, type);
    put16(bytes_, std::uint16_t(value.size()));
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    bytes_.resize((bytes_.size() + 3) & ~std::size_t(3), 0);
    return *this;
}

StunBuilder& StunBuilder::addText(std::uint16_t type, std::string_view text) {
    return add(type, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

StunBuilder& StunBuilder::addU32(std::uint16_t type, std::uint32_t value) {
    const std::uint8_t v[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
                               std::uint8_t(value)};
    return add(type, v);
}

StunBuilder& StunBuilder::addXorAddress(std::uint16_t type, const Endpoint& endpoint) {
    Bytes v;
    const auto address = endpoint.address();
    v.push_back(0);
    v.push_back(address.is_v4() ? 0x01 : 0x02);
    put16(v, endpoint.port() ^ std::uint16_t(kMagicCookie >> 16));
    if (address.is_v4()) {
        put32(v, address.to_v4().to_uint() ^ kMagicCookie);
    } else {
        const auto raw = address.to_v6().to_bytes();
        const std::uint8_t cookie[4] = {0x21, 0x12, 0xA4, 0x42};
        for (std::size_t i = 0; i < 16; ++i) v.push_back(raw[i] ^ (i < 4 ? cookie[i] : transaction_[i - 4]));
    }
    return add(type, v);
}

StunBuilder& StunBuilder::addError(int code, std::string_view reason) {
    Bytes v = {0, 0, std::uint8_t(code / 100), std::uint8_t(code % 100)};
    v.insert(v.end(), reason.begin(), reason.end());
    return add(attr::ErrorCode, v);
}

StunBuilder& StunBuilder::addUnknown(const std::vector<std::uint16_t>& types) {
    Bytes v;
    for (const auto t : types) put16(v, t);
    return add(attr::UnknownAttributes, v);
}

Bytes StunBuilder::finish(ByteView key, bool fingerprint) && {
    if (!key.empty()) {
        set16(bytes_, 2, std::uint16_t(bytes_.size() + 4 + kIntegritySize - kHeaderSize));
        const auto digest = HmacSha1(key, bytes_);
        add(attr::MessageIntegrity, digest);
    }
    if (fingerprint) {
        set16(bytes_, 2, std::uint16_t(bytes_.size() + 8 - kHeaderSize));
        const std::uint32_t crc = FingerprintOf(bytes_);
        addU32(attr::Fingerprint, crc);
    }
    set16(bytes_, 2, std::uint16_t(bytes_.size() - kHeaderSize));
    return std::move(bytes_);
}

std::array<std::uint8_t, 20> HmacSha1(ByteView key, ByteView data) {
    std::array<std::uint8_t, 20> digest{};
    unsigned length = 0;
    HMAC(EVP_sha1(), key.data(), int(key.size()), data.data(), data.size(), digest.data(), &length);
    return digest;
}

std::uint32_t FingerprintOf(ByteView bytes) {
    return std::uint32_t(crc32(0L, bytes.data(), uInt(bytes.size()))) ^ kFingerprintXor;
}

std::optional<ChannelData> ParseChannelData(ByteView bytes) {
    if (bytes.size() < 4) return std::nullopt;
    const std::uint16_t channel = get16(bytes.data());
    const std::size_t length = get16(bytes.data() + 2);
    if (channel < kFirstChannel || channel > kLastChannel || length > bytes.size() - 4) return std::nullopt;
    return ChannelData{channel, bytes.subspan(4, length)};
}

Bytes EncodeChannelData(std::uint16_t channel, ByteView data, bool pad) {
    Bytes b;
    b.reserve(4 + data.size() + 3);
    put16(b, channel);
    put16(b, std::uint16_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (pad) b.resize((b.size() + 3) & ~std::size_t(3), 0);
    return b;
}

std::size_t StreamFrameLength(ByteView prefix) {
    if (prefix.size() < 4) return 0;
    const std::size_t length = get16(prefix.data() + 2);
    switch (KindOf(prefix)) {
    case PacketKind::Stun: return length % 4 == 0 ? kHeaderSize + length : 0;
    case PacketKind::ChannelData: return (4 + length + 3) & ~std::size_t(3);
    case PacketKind::Other: return 0;
    }
    return 0;
}

}  // namespace corvala::relay
