#include "VideoCodec.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace corvala::engine {

namespace {
std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}
}  // namespace

std::string formatParameter(const std::string& parameters, const std::string& key, const std::string& fallback) {
  size_t start = 0;
  while (start <= parameters.size()) {
    size_t end = parameters.find(';', start);
    if (end == std::string::npos) end = parameters.size();
    const std::string item = parameters.substr(start, end - start);
    const auto equals = item.find('=');
    if (equals != std::string::npos && trimmed(item.substr(0, equals)) == key)
      return trimmed(item.substr(equals + 1));
    start = end + 1;
  }
  return fallback;
}

bool h264FormatAccepted(const std::string& parameters) {
  if (formatParameter(parameters, "packetization-mode", "0") != "1") return false;
  // Without a profile the format means baseline (42 00 0a).
  const std::string profile = formatParameter(parameters, "profile-level-id", "42000a");
  if (profile.size() != 6 || !std::all_of(profile.begin(), profile.end(), [](unsigned char c) { return std::isxdigit(c); }))
    return false;
  const long idc = std::strtol(profile.substr(0, 2).c_str(), nullptr, 16);
  // Baseline, main, high and high 4:4:4 decoders all take a constrained
  // baseline stream.
  return idc == 0x42 || idc == 0x4d || idc == 0x64 || idc == 0xf4;
}

bool chooseVideoCodec(const std::vector<VideoFormat>& formats, VideoCodec& chosen) {
  for (const VideoFormat& format : formats) {
    if (format.name == "VP8") {
      chosen = {VideoCodecKind::VP8, format.payloadType, format.parameters};
      return true;
    }
    if (format.name != "H264") continue;
    for (const VideoFormat& candidate : formats)
      if (candidate.name == "H264" && h264FormatAccepted(candidate.parameters)) {
        chosen = {VideoCodecKind::H264, candidate.payloadType, candidate.parameters};
        return true;
      }
  }
  return false;
}

}  // namespace corvala::engine
