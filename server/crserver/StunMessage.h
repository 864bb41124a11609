#pragma once
// The STUN message and ChannelData codec of the relay. Parsing reads a view
// over bytes a stranger sent: every length, count and padding is checked
// before it is used, and anything that does not add up is refused whole
// (the caller then tells why). Building writes the attributes in the order
// they are added, then MESSAGE-INTEGRITY and FINGERPRINT last.

#include <asio/ip/udp.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvala::relay {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using Endpoint = asio::ip::udp::endpoint;
using TransactionId = std::array<std::uint8_t, 12>;
// The long-term credential key, MD5(user ":" realm ":" password).
using IntegrityKey = std::array<std::uint8_t, 16>;

constexpr std::uint32_t kMagicCookie = 0x2112A442;
constexpr std::size_t kHeaderSize = 20;
// More attributes than any request of ours needs; a message with more is refused.
constexpr std::size_t kMaxAttributes = 32;

enum class StunClass : std::uint8_t { Request = 0, Indication = 1, Success = 2, Error = 3 };

namespace method {
constexpr std::uint16_t Binding = 0x001;
constexpr std::uint16_t Allocate = 0x003;
constexpr std::uint16_t Refresh = 0x004;
constexpr std::uint16_t Send = 0x006;
constexpr std::uint16_t Data = 0x007;
constexpr std::uint16_t CreatePermission = 0x008;
constexpr std::uint16_t ChannelBind = 0x009;
}  // namespace method

namespace attr {
constexpr std::uint16_t MappedAddress = 0x0001;
constexpr std::uint16_t Username = 0x0006;
constexpr std::uint16_t MessageIntegrity = 0x0008;
constexpr std::uint16_t ErrorCode = 0x0009;
constexpr std::uint16_t UnknownAttributes = 0x000A;
constexpr std::uint16_t ChannelNumber = 0x000C;
constexpr std::uint16_t Lifetime = 0x000D;
constexpr std::uint16_t XorPeerAddress = 0x0012;
constexpr std::uint16_t Data = 0x0013;
constexpr std::uint16_t Realm = 0x0014;
constexpr std::uint16_t Nonce = 0x0015;
constexpr std::uint16_t XorRelayedAddress = 0x0016;
constexpr std::uint16_t RequestedAddressFamily = 0x0017;
constexpr std::uint16_t EvenPort = 0x0018;
constexpr std::uint16_t RequestedTransport = 0x0019;
constexpr std::uint16_t DontFragment = 0x001A;
constexpr std::uint16_t MessageIntegritySha256 = 0x001C;
constexpr std::uint16_t XorMappedAddress = 0x0020;
constexpr std::uint16_t ReservationToken = 0x0022;
constexpr std::uint16_t Priority = 0x0024;
constexpr std::uint16_t UseCandidate = 0x0025;
constexpr std::uint16_t AdditionalAddressFamily = 0x8000;
constexpr std::uint16_t Software = 0x8022;
constexpr std::uint16_t Fingerprint = 0x8028;
constexpr std::uint16_t IceControlled = 0x8029;
constexpr std::uint16_t IceControlling = 0x802A;
}  // namespace attr

// RFC 7983's first-byte split of what arrives on a TURN port.
enum class PacketKind { Stun, ChannelData, Other };
PacketKind KindOf(ByteView bytes);

struct StunAttribute {
    std::uint16_t type = 0;
    ByteView value;
};

class StunMessage {
public:
    // The message in `bytes` (exactly one, no trailing bytes), or nothing
    // with the reason in `why`. A FINGERPRINT present must match.
    static std::optional<StunMessage> Parse(ByteView bytes, std::string* why = nullptr);
    // The message is a view: bytes about to go away cannot be parsed.
    static std::optional<StunMessage> Parse(Bytes&& bytes, std::string* why = nullptr) = delete;

    std::uint16_t method() const { return method_; }
    StunClass messageClass() const { return class_; }
    const TransactionId& transaction() const { return transaction_; }
    const std::vector<StunAttribute>& attributes() const { return attributes_; }

    // The first attribute of that type (later duplicates are ignored).
    const StunAttribute* find(std::uint16_t type) const;
    // Comprehension-required attributes (below 0x8000) this relay does not know.
    std::vector<std::uint16_t> unknownRequired() const;

    // Text of at most `maxBytes` bytes; nothing when absent or longer.
    std::optional<std::string_view> text(std::uint16_t type, std::size_t maxBytes) const;
    // A 4-byte value; nothing when absent or of another length.
    std::optional<std::uint32_t> u32(std::uint16_t type) const;
    // An XOR-coded address (IPv4 or IPv6); nothing when absent or malformed.
    std::optional<Endpoint> xorAddress(std::uint16_t type) const;
    // Every attribute of that type decoded so (an entry is empty when malformed).
    std::vector<std::optional<Endpoint>> xorAddresses(std::uint16_t type) const;

    bool hasIntegrity() const { return integrityOffset_ != 0; }
    bool hasFingerprint() const { return hasFingerprint_; }
    // True when MESSAGE-INTEGRITY is present and made with `key` (the
    // long-term key, or the password itself for short-term credentials).
    bool integrityMatches(ByteView key) const;

private:
    std::optional<Endpoint> decodeXorAddress(const StunAttribute& attribute) const;

    ByteView bytes_;
    std::uint16_t method_ = 0;
    StunClass class_ = StunClass::Request;
    TransactionId transaction_{};
    std::vector<StunAttribute> attributes_;
    std::size_t integrityOffset_ = 0;
    bool hasFingerprint_ = false;
};

class StunBuilder {
public:
    StunBuilder(std::uint16_t method, StunClass cls, const TransactionId& transaction);

    StunBuilder& add(std::uint16_t type, ByteView value);
    StunBuilder& addText(std::uint16_t type, std::string_view text);
    StunBuilder& addU32(std::uint16_t type, std::uint32_t value);
    StunBuilder& addXorAddress(std::uint16_t type, const Endpoint& endpoint);
    StunBuilder& addError(int code, std::string_view reason);
    StunBuilder& addUnknown(const std::vector<std::uint16_t>& types);

    // The finished message, with MESSAGE-INTEGRITY when a key is given (not
    // empty), and FINGERPRINT when asked.
    Bytes finish(ByteView key, bool fingerprint) &&;

private:
    Bytes bytes_;
    TransactionId transaction_;
};

// HMAC-SHA1 of `data` under `key` (20 bytes).
std::array<std::uint8_t, 20> HmacSha1(ByteView key, ByteView data);
// The FINGERPRINT value of the bytes before it: CRC-32 XOR 0x5354554E.
std::uint32_t FingerprintOf(ByteView bytes);

constexpr std::uint16_t kFirstChannel = 0x4000;
// RFC 8656 narrowed the range to 0x4FFF; clients of RFC 5766 still pick up to 0x7FFF.
constexpr std::uint16_t kLastChannel = 0x7FFF;

struct ChannelData {
    std::uint16_t channel = 0;
    ByteView data;
};
// One ChannelData message at the start of `bytes` (padding or trailing
// bytes after the data are allowed, as on UDP), or nothing.
std::optional<ChannelData> ParseChannelData(ByteView bytes);
// `pad` rounds the message up to a multiple of four, as a stream needs.
Bytes EncodeChannelData(std::uint16_t channel, ByteView data, bool pad);

// For a stream: how long the message starting with these (at least four)
// bytes is, padding included; 0 when they start neither STUN nor ChannelData.
std::size_t StreamFrameLength(ByteView prefix);

}  // namespace corvala::relay
