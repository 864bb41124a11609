// The client's signalling reader: bytes from the server, cut into lines by
// the framer in the pieces a TLS read may hand out, and every line through
// the client's dispatch into a recording core.
//
// Properties: the lines and the overflow do not depend on how the stream was
// split into reads, and they are those of a plain split at LF (CR before LF
// dropped, a line past the limit ends the stream).
#include "FuzzSupport.h"
#include "signalling/ClientMessage.h"
#include "signalling/LineFramer.h"

#include <string>
#include <vector>

namespace corvala {
namespace {

struct Framed {
    std::vector<std::string> Lines;
    bool Overflowed = false;
};

// Small enough that long lines are common, so that the overflow is reached.
constexpr std::size_t SmallLimit = 48;

// The reads cycle through `readSizes` (one byte each); none: one read.
Framed FrameInReads(std::string_view stream, std::size_t limit, std::string_view readSizes) {
    LineFramer framer(limit);
    Framed out;
    for (std::size_t i = 0; !stream.empty(); ++i) {
        const std::size_t size =
            readSizes.empty() ? stream.size() : 1 + static_cast<std::uint8_t>(readSizes[i % readSizes.size()]);
        const std::string_view read = stream.substr(0, size);
        stream.remove_prefix(read.size());
        // A TLS read lands in a buffer that the next read overwrites.
        const std::string buffer(read);
        framer.feed(buffer, [&](std::string_view line) {
            out.Lines.emplace_back(line);
            return true;
        });
    }
    out.Overflowed = framer.overflowed();
    return out;
}

Framed FrameByHand(std::string_view stream, std::size_t limit) {
    Framed out;
    for (std::size_t lf; (lf = stream.find('\n')) != std::string_view::npos;) {
        std::string_view line = stream.substr(0, lf);
        stream.remove_prefix(lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > limit) {
            out.Overflowed = true;
            return out;
        }
        out.Lines.emplace_back(line);
    }
    // An unfinished line already too long even if its last byte is the CR.
    out.Overflowed = stream.size() > limit + 1 || (stream.size() == limit + 1 && stream.back() != '\r');
    return out;
}

class RecordingCore : public IClientMessageEvents {
public:
    void SignallingInvalidId() override { ++FCalls; }
    void SignallingJoined() override { ++FCalls; }
    void ApplyIceServerFromPayload(const IceServer& relay, bool) override { FCalls += relay.url.size() > 0; }
    void SendInitAfterPublicTurn(bool) override { ++FCalls; }
    void HandlePeerMessage(const QJsonObject& message) override { FCalls += message.size(); }

private:
    qsizetype FCalls = 0;
};

}  // namespace
}  // namespace corvala

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    fuzz::InputReader input(data, size);
    const std::string_view readSizes = input.Take(input.Byte() % 16);
    const std::string_view stream = input.Rest();

    for (const std::size_t limit : {SmallLimit, wire::MaxLineLength}) {
        const Framed inReads = FrameInReads(stream, limit, readSizes);
        const Framed byHand = FrameByHand(stream, limit);
        if (inReads.Lines != byHand.Lines) fuzz::Fail("framed lines differ from a plain split at LF");
        if (inReads.Overflowed != byHand.Overflowed) fuzz::Fail("overflow differs from a plain split at LF");
    }

    RecordingCore core;
    ClientMessage dispatch(core);
    LineFramer framer(wire::MaxLineLength);
    framer.feed(stream, [&](std::string_view line) {
        dispatch(QByteArrayView(line.data(), qsizetype(line.size())));
        return true;
    });
    return 0;
}
