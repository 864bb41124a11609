// Case tables for the codec-order and bitrate rewriting of session descriptions.
#include "media/SdpRewriting.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

namespace corvala {
namespace {

struct PreferCase {
    const char* name;
    const char* input;
    const char* codec;
    bool audio;
    const char* expected;
};

// A description as the engine makes them, audio section first.
const char* const kTwoSections =
    "v=0\n"
    "m=audio 9 UDP/TLS/RTP/SAVPF 111 103 9\n"
    "a=rtpmap:111 opus/48000/2\n"
    "a=rtpmap:103 ISAC/16000\n"
    "a=rtpmap:9 G722/8000\n"
    "m=video 9 UDP/TLS/RTP/SAVPF 96 98 100 127\n"
    "a=rtpmap:96 VP8/90000\n"
    "a=rtpmap:98 VP9/90000\n"
    "a=rtpmap:100 H264/90000\n"
    "a=rtpmap:127 red/90000\n";

const PreferCase kPreferCases[] = {
    {"VideoExampleFromTheDocs", kTwoSections, "H264", false,
     "v=0\r\n"
     "m=audio 9 UDP/TLS/RTP/SAVPF 111 103 9\r\n"
     "a=rtpmap:111 opus/48000/2\r\n"
     "a=rtpmap:103 ISAC/16000\r\n"
     "a=rtpmap:9 G722/8000\r\n"
     "m=video 9 UDP/TLS/RTP/SAVPF 100 96 98 127\r\n"
     "a=rtpmap:96 VP8/90000\r\n"
     "a=rtpmap:98 VP9/90000\r\n"
     "a=rtpmap:100 H264/90000\r\n"
     "a=rtpmap:127 red/90000\r\n"},
    {"AudioChangesOnlyTheAudioLine", kTwoSections, "ISAC", true,
     "v=0\r\n"
     "m=audio 9 UDP/TLS/RTP/SAVPF 103 111 9\r\n"
     "a=rtpmap:111 opus/48000/2\r\n"
     "a=rtpmap:103 ISAC/16000\r\n"
     "a=rtpmap:9 G722/8000\r\n"
     "m=video 9 UDP/TLS/RTP/SAVPF 96 98 100 127\r\n"
     "a=rtpmap:96 VP8/90000\r\n"
     "a=rtpmap:98 VP9/90000\r\n"
     "a=rtpmap:100 H264/90000\r\n"
     "a=rtpmap:127 red/90000\r\n"},
    {"CodecMissingLeavesLfTextByteForByte", kTwoSections, "AV1", false, kTwoSections},
    {"NoMediaLineOfThatKindLeavesTextAlone",
     "m=audio 9 RTP/AVP 111 96\na=rtpmap:96 VP8/90000\n", "VP8", false,
     "m=audio 9 RTP/AVP 111 96\na=rtpmap:96 VP8/90000\n"},
    {"NameIsCaseSensitive", kTwoSections, "h264", false, kTwoSections},
    {"RtpmapBeforeMediaLineStillFound",
     "a=rtpmap:100 H264/90000\nm=video 9 RTP/AVP 96 100\n", "H264", false,
     "a=rtpmap:100 H264/90000\r\nm=video 9 RTP/AVP 100 96\r\n"},
    {"LaterMediaLineReplacesEarlierWhileCodecUnseen",
     "m=video 1 RTP/AVP 96 100\nm=video 2 RTP/AVP 96 100\na=rtpmap:100 H264/90000\n", "H264", false,
     "m=video 1 RTP/AVP 96 100\r\nm=video 2 RTP/AVP 100 96\r\na=rtpmap:100 H264/90000\r\n"},
    {"ThreeFieldMediaLineKeptButTextRebuilt",
     "m=video 9 RTP/AVP\na=rtpmap:100 H264/90000\n", "H264", false,
     "m=video 9 RTP/AVP\r\na=rtpmap:100 H264/90000\r\n"},
    {"PayloadTypeMissingFromTheListIsStillPutFirst",
     "m=video 9 RTP/AVP 96\na=rtpmap:100 H264/90000\n", "H264", false,
     "m=video 9 RTP/AVP 100 96\r\na=rtpmap:100 H264/90000\r\n"},
    {"EmptyFieldsAreKept",
     "m=video 9 RTP/AVP  96 100\na=rtpmap:100 H264/90000\n", "H264", false,
     "m=video 9 RTP/AVP 100  96\r\na=rtpmap:100 H264/90000\r\n"},
    {"LoneCrBreaksSplitToo",
     "m=video 9 RTP/AVP 96 100\ra=rtpmap:100 H264/90000\r", "H264", false,
     "m=video 9 RTP/AVP 100 96\r\na=rtpmap:100 H264/90000\r\n"},
};

class PreferCodecTable : public testing::TestWithParam<PreferCase> {};

TEST_P(PreferCodecTable, RewritesAsDocumented)
{
    const PreferCase& c = GetParam();
    EXPECT_EQ(PreferCodec(c.input, c.codec, c.audio), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PreferCodecTable, testing::ValuesIn(kPreferCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BitrateCase {
    const char* name;
    const char* input;
    const char* codec;
    bool video;
    int bitrate;
    const char* expected;
};

const BitrateCase kBitrateCases[] = {
    {"OpusAudioExampleFromTheDocs",
     "m=audio 9 RTP/AVP 111\na=rtpmap:111 opus/48000/2\na=fmtp:111 minptime=10;useinbandfec=1\n",
     "opus", false, 32,
     "m=audio 9 RTP/AVP 111\r\na=rtpmap:111 opus/48000/2\r\n"
     "a=fmtp:111 minptime=10;useinbandfec=1; maxaveragebitrate=32000\r\n"},
    {"Vp8WithoutFormatLineGetsOneAfterRtpmap",
     "m=video 9 RTP/AVP 96 97\na=rtpmap:96 VP8/90000\na=rtpmap:97 rtx/90000\n", "VP8", true, 500,
     "m=video 9 RTP/AVP 96 97\r\na=rtpmap:96 VP8/90000\r\na=fmtp:96 x-google-start-bitrate=500\r\n"
     "a=rtpmap:97 rtx/90000\r\n"},
    {"CodecMissingLeavesLfTextByteForByte",
     "m=video 9 RTP/AVP 96\na=rtpmap:96 VP8/90000\n", "H264", true, 500,
     "m=video 9 RTP/AVP 96\na=rtpmap:96 VP8/90000\n"},
    {"UpperCaseOpusDoesNotMatchLowerCaseLine",
     "a=rtpmap:111 opus/48000/2\n", "OPUS", false, 32, "a=rtpmap:111 opus/48000/2\n"},
    {"PayloadType10AlsoExtendsFormatLineOf100",
     "a=rtpmap:10 VP8/90000\na=fmtp:100 apt=10\na=fmtp:10 foo=1\n", "VP8", true, 300,
     "a=rtpmap:10 VP8/90000\r\na=fmtp:100 apt=10; x-google-start-bitrate=300\r\n"
     "a=fmtp:10 foo=1; x-google-start-bitrate=300\r\n"},
    {"TwoFormatLinesBothExtendedNoneInserted",
     "a=rtpmap:96 VP8/90000\na=fmtp:96 a=1\na=fmtp:96 b=2\n", "VP8", true, 800,
     "a=rtpmap:96 VP8/90000\r\na=fmtp:96 a=1; x-google-start-bitrate=800\r\n"
     "a=fmtp:96 b=2; x-google-start-bitrate=800\r\n"},
    {"FirstRtpmapMatchDecidesThePayloadType",
     "a=rtpmap:96 VP8/90000\na=rtpmap:120 VP8/90000\na=fmtp:120 x=1\n", "VP8", true, 100,
     "a=rtpmap:96 VP8/90000\r\na=fmtp:96 x-google-start-bitrate=100\r\n"
     "a=rtpmap:120 VP8/90000\r\na=fmtp:120 x=1\r\n"},
    {"InsertAfterLastLineWithoutFinalBreak",
     "a=rtpmap:111 opus/48000/2", "opus", false, 64,
     "a=rtpmap:111 opus/48000/2\r\na=fmtp:111 maxaveragebitrate=64000\r\n"},
    {"AudioFormDoesNotOverflow",
     "a=rtpmap:111 opus/48000/2\n", "opus", false, 2147483647,
     "a=rtpmap:111 opus/48000/2\r\na=fmtp:111 maxaveragebitrate=2147483647000\r\n"},
};

class SetCodecBitrateTable : public testing::TestWithParam<BitrateCase> {};

TEST_P(SetCodecBitrateTable, RewritesAsDocumented)
{
    const BitrateCase& c = GetParam();
    EXPECT_EQ(SetCodecBitrate(c.codec, c.video, c.bitrate, c.input), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SetCodecBitrateTable, testing::ValuesIn(kBitrateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SdpLines, SplitKeepsInnerEmptyLinesButNoTrailingOne)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitSdpLines(""), V{});
    EXPECT_EQ(SplitSdpLines("a"), V{"a"});
    EXPECT_EQ(SplitSdpLines("a\r\n"), V{"a"});
    EXPECT_EQ(SplitSdpLines("a\r\n\r\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitSdpLines("a\n\rb\r"), (V{"a", "", "b"}));
}

TEST(SdpRewriting, CodecNameWithRegexCharactersIsTakenLiterally)
{
    const std::string sdp = "m=video 9 RTP/AVP 96 97\na=rtpmap:96 VP8/90000\na=rtpmap:97 V.8/90000\n";
    EXPECT_EQ(PreferCodec(sdp, "V.8", false),
              "m=video 9 RTP/AVP 97 96\r\na=rtpmap:96 VP8/90000\r\na=rtpmap:97 V.8/90000\r\n");
}

} // namespace
} // namespace corvala

namespace corvala {
namespace {

// Received descriptions come from the network: whatever their bytes, the
// rewriting keeps every line, only reorders a media line's formats or
// appends to format lines, and never reads past its input (the sanitizer
// runs see to that).
TEST(SdpRewriting, ArbitraryInputKeepsItsLines)
{
    const std::vector<std::string> pieces = {
        "m=audio 9 UDP/TLS/RTP/SAVPF 111 103", "m=video 9 RTP/AVP 96 100 ", "m=video  ", "a=rtpmap:111 opus/48000/2",
        "a=rtpmap:100 H264/90000", "a=rtpmap:96 VP8/90000", "a=rtpmap:1", "a=rtpmap: VP8", "a=fmtp:96 x=1",
        "a=fmtp:1", "a=fmtp:", "a=rtpmap:103 ISAC/16000", "\r\n", "\n", "\r", "\r\n\r\n", " ", "", "\x00\xff",
        "m=audio", "a=rtpmap:99999999999999999999 VP8/90000"};
    const char* const codecs[] = {"VP8", "VP9", "H264", "opus", "ISAC", ""};
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        std::string sdp;
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            sdp += pieces[random() % pieces.size()];
            if (random() % 3)
                sdp += random() % 2 ? "\r\n" : "\n";
        }
        const std::vector<std::string> lines = SplitSdpLines(sdp);
        const std::string codec = codecs[random() % std::size(codecs)];

        const std::string preferred = PreferCodec(sdp, codec, random() % 2);
        if (preferred != sdp) {
            EXPECT_EQ(SplitSdpLines(preferred).size(), lines.size()) << sdp;
            EXPECT_EQ(preferred.substr(preferred.size() - 2), "\r\n");
        }

        const std::string withRate = SetCodecBitrate(codec, random() % 2, static_cast<int>(random() % 5000), sdp);
        if (withRate != sdp) {
            const std::vector<std::string> out = SplitSdpLines(withRate);
            ASSERT_TRUE(out.size() == lines.size() || out.size() == lines.size() + 1) << sdp;
            // Each original line survives as the start of its output line.
            std::size_t o = 0;
            for (const std::string& line : lines) {
                if (o < out.size() && out[o].rfind(line, 0) != 0)
                    ++o;  // the inserted format line
                ASSERT_LT(o, out.size()) << sdp;
                EXPECT_EQ(out[o].rfind(line, 0), 0u) << sdp;
                ++o;
            }
        }
        EXPECT_EQ(SplitSdpLines(JoinSdpLines(lines)), lines);
    }
}

} // namespace
} // namespace corvala
