// What the engine needs to know about a session description: per m-line its
// kind, mid, direction and payload types by codec name.
#pragma once

#include "VideoCodec.h"

#include <map>
#include <string>
#include <vector>

namespace corvala::engine {

struct MediaLine {
  std::string kind;       // "audio", "video", "application"
  std::string mid;
  std::string direction;  // "sendrecv", "sendonly", "recvonly", "inactive"
  bool rejected = false;  // port 0
  std::map<std::string, int> payloadTypes;  // "VP8" -> 96 (first per codec)
  std::vector<VideoFormat> formats;         // in the m-line's order
};

// Empty when the text does not parse.
std::vector<MediaLine> describeSdp(const std::string& sdp);

// Copies text into a caller's buffer of `size` bytes, NUL-terminated and cut.
void copyToBuffer(const std::string& text, char* buffer, int size);

}  // namespace corvala::engine

#include <gst/gst.h>

namespace corvala::engine {
// A webrtcbin sink pad requested with its RTP caps: the transceiver then
// knows its kind and codec at once, so an answer matches it to the offer's
// m-line of that kind (a pad without caps gets a new, receive-only one).
GstPad* requestSinkPad(GstElement* webrtc, const char* rtpCaps);
}  // namespace corvala::engine
