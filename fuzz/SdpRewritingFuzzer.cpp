// The session-description edits, over descriptions a peer or the engine
// may produce, for every codec the program asks for.
//
// Properties: the line model splits what it joined into the same lines;
// preferring a codec changes at most the one media line and keeps the count
// of lines; setting a bitrate adds at most one line.
#include "FuzzSupport.h"
#include "media/SdpRewriting.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    static constexpr std::array<const char*, 5> Codecs{"VP8", "H264", "VP9", "opus", "ISAC"};
    fuzz::InputReader input(data, size);
    const std::uint8_t choice = input.Byte();
    const std::string codec = Codecs[choice % Codecs.size()];
    const bool flag = choice & 0x80;
    const int bitrate = static_cast<int>(input.Byte() | input.Byte() << 8 | input.Byte() << 16) - 0x100;
    const std::string sdp(input.Rest());

    const std::vector<std::string> lines = SplitSdpLines(sdp);
    if (SplitSdpLines(JoinSdpLines(lines)) != lines) fuzz::Fail("joined lines split into other lines");

    const std::vector<std::string> preferred = SplitSdpLines(PreferCodec(sdp, codec, flag));
    if (preferred.size() != lines.size()) fuzz::Fail("preferring a codec changed the number of lines");
    std::size_t changed = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) changed += preferred[i] != lines[i];
    if (changed > 1) fuzz::Fail("preferring a codec changed more than its media line");

    const std::vector<std::string> withBitrate = SplitSdpLines(SetCodecBitrate(codec, flag, bitrate, sdp));
    if (withBitrate.size() < lines.size() || withBitrate.size() > lines.size() + 1)
        fuzz::Fail("setting a bitrate did more than edit or add one line");
    return 0;
}
