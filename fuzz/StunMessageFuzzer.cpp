// crserver's parser of what clients and peers send: STUN messages,
// ChannelData and the framing of a TCP stream.
//
// Input: one datagram as it arrives on the relay's port.
//
// Properties: nothing read lies outside the input; a message that parses
// frames to exactly its own size on a stream; the attributes it yields,
// written again by the builder, read back the same, and a message signed by
// the builder authenticates while the input's own integrity never does
// under a key that differs in one byte.
#include "FuzzSupport.h"
#include "StunMessage.h"

namespace corvala::relay {
namespace {

const IntegrityKey kKey = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

void Check(ByteView input) {
    (void)KindOf(input);
    const std::size_t frame = StreamFrameLength(input);
    if (frame != 0 && frame < 4) fuzz::Fail("a frame shorter than its header");
    if (const auto data = ParseChannelData(input)) {
        if (data->data.size() + 4 > input.size()) fuzz::Fail("ChannelData beyond the input");
        if (data->channel < kFirstChannel || data->channel > kLastChannel) fuzz::Fail("channel out of range");
    }
    std::string why;
    const auto m = StunMessage::Parse(input, &why);
    if (!m) {
        if (why.empty()) fuzz::Fail("refused without a reason");
        return;
    }
    if (frame != input.size()) fuzz::Fail("a parsed message frames to another size");
    if (m->attributes().size() > kMaxAttributes) fuzz::Fail("more attributes than allowed");
    (void)m->unknownRequired();
    (void)m->text(attr::Username, 512);
    (void)m->u32(attr::Lifetime);
    (void)m->xorAddresses(attr::XorPeerAddress);
    (void)m->xorAddress(attr::XorMappedAddress);
    if (m->integrityMatches(kKey)) {
        IntegrityKey other = kKey;
        other[0] ^= 1;
        if (m->integrityMatches(other)) fuzz::Fail("integrity matched two keys");
    }

    // Room for the integrity and fingerprint the builder adds.
    if (m->attributes().size() >= kMaxAttributes || input.size() + 32 > kHeaderSize + 0xFFFC) return;
    StunBuilder again(m->method(), m->messageClass(), m->transaction());
    for (const auto& a : m->attributes())
        if (a.type != attr::MessageIntegrity && a.type != attr::Fingerprint) again.add(a.type, a.value);
    const Bytes rebuilt = std::move(again).finish(kKey, true);
    const auto back = StunMessage::Parse(rebuilt, &why);
    if (!back) fuzz::Fail("a rebuilt message does not parse");
    if (back->method() != m->method() || back->messageClass() != m->messageClass() ||
        back->transaction() != m->transaction())
        fuzz::Fail("header changed in the round trip");
    if (!back->integrityMatches(kKey)) fuzz::Fail("a signed message does not authenticate");
    std::size_t compared = 0;
    for (const auto& a : m->attributes()) {
        if (a.type == attr::MessageIntegrity || a.type == attr::Fingerprint) continue;
        const auto& b = back->attributes().at(compared++);
        if (a.type != b.type || !std::equal(a.value.begin(), a.value.end(), b.value.begin(), b.value.end()))
            fuzz::Fail("attribute changed in the round trip");
    }
}

}  // namespace
}  // namespace corvala::relay

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvala::relay::Check(corvala::relay::ByteView(data, size));
    return 0;
}
