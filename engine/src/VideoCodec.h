// Which video codec a connection sends, decided from the other side's
// description: the first format in its m-line that we can encode, in the
// order that side (or the program's codec preference) put them.
#pragma once

#include <string>
#include <vector>

namespace corvala::engine {

enum class VideoCodecKind { VP8, H264 };

struct VideoFormat {
  int payloadType = 0;
  std::string name;        // upper case: "VP8", "H264", "RTX", ...
  std::string parameters;  // the a=fmtp value, "" without one
};

struct VideoCodec {
  VideoCodecKind kind = VideoCodecKind::VP8;
  int payloadType = 0;
  std::string parameters;  // the chosen format's a=fmtp value
};

// Payload types this engine puts in its own offers.
constexpr int kOfferedVp8Pt = 96;
constexpr int kOfferedH264Pt = 102;
// What the encoder produces: constrained baseline, fragmented units.
constexpr const char* kOfferedH264Parameters =
    "level-asymmetry-allowed=1;packetization-mode=1;profile-level-id=42e01f";

// Value of one "key=value" of an fmtp parameter list; `fallback` when absent.
std::string formatParameter(const std::string& parameters, const std::string& key, const std::string& fallback = "");

// Whether the receiver of an H.264 format decodes what our encoder sends:
// packetization mode 1 (fragmented units; mode 0 cannot carry a full-screen
// key frame) and a profile that contains constrained baseline.
bool h264FormatAccepted(const std::string& parameters);

// The first codec we can send, in the formats' order; false when none.
// For H.264 the first accepted format of that name is taken, so that a
// preference that moved an unsuitable H.264 format first still gets H.264.
bool chooseVideoCodec(const std::vector<VideoFormat>& formats, VideoCodec& chosen);

}  // namespace corvala::engine
