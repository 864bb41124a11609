#include "SdpInfo.h"

#include <gst/sdp/sdp.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace corvala::engine {

std::vector<MediaLine> describeSdp(const std::string& sdp) {
  std::vector<MediaLine> lines;
  GstSDPMessage* message = nullptr;
  if (gst_sdp_message_new(&message) != GST_SDP_OK) return lines;
  if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(sdp.data()), guint(sdp.size()), message) !=
      GST_SDP_OK) {
    gst_sdp_message_free(message);
    return lines;
  }
  for (guint i = 0; i < gst_sdp_message_medias_len(message); ++i) {
    const GstSDPMedia* media = gst_sdp_message_get_media(message, i);
    MediaLine line;
    line.kind = gst_sdp_media_get_media(media) ? gst_sdp_media_get_media(media) : "";
    // Port 0 rejects a line, except with bundle-only: then it rides on the
    // bundle's transport (webrtcbin's max-bundle offers look like that).
    line.rejected = gst_sdp_media_get_port(media) == 0;
    const char* mid = gst_sdp_media_get_attribute_val(media, "mid");
    line.mid = mid ? mid : "";
    line.direction = "sendrecv";
    for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
      const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
      if (std::strcmp(attribute->key, "bundle-only") == 0) line.rejected = false;
      for (const char* d : {"sendonly", "recvonly", "inactive", "sendrecv"})
        if (std::strcmp(attribute->key, d) == 0) line.direction = d;
      if (std::strcmp(attribute->key, "rtpmap") != 0 || !attribute->value) continue;
      int pt = 0;
      char name[64] = {};
      if (std::sscanf(attribute->value, "%d %63[^/]", &pt, name) == 2) {
        std::string codec(name);
        std::transform(codec.begin(), codec.end(), codec.begin(), [](unsigned char c) { return std::toupper(c); });
        line.payloadTypes.emplace(codec, pt);
      }
    }
    for (guint f = 0; f < gst_sdp_media_formats_len(media); ++f) {
      VideoFormat format;
      format.payloadType = std::atoi(gst_sdp_media_get_format(media, f));
      for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
        const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
        if (!attribute->value) continue;
        const bool rtpmap = std::strcmp(attribute->key, "rtpmap") == 0;
        if (!rtpmap && std::strcmp(attribute->key, "fmtp") != 0) continue;
        char* rest = nullptr;
        if (std::strtol(attribute->value, &rest, 10) != format.payloadType || rest == attribute->value) continue;
        while (*rest == ' ') ++rest;
        if (rtpmap && format.name.empty()) {
          format.name = std::string(rest, std::strcspn(rest, "/"));
          std::transform(format.name.begin(), format.name.end(), format.name.begin(),
                         [](unsigned char c) { return std::toupper(c); });
        } else if (!rtpmap && format.parameters.empty()) {
          format.parameters = rest;
        }
      }
      line.formats.push_back(std::move(format));
    }
    lines.push_back(std::move(line));
  }
  gst_sdp_message_free(message);
  return lines;
}

void copyToBuffer(const std::string& text, char* buffer, int size) {
  if (!buffer || size <= 0) return;
  const size_t n = std::min(text.size(), size_t(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace corvala::engine

namespace corvala::engine {
GstPad* requestSinkPad(GstElement* webrtc, const char* rtpCaps) {
  GstCaps* caps = gst_caps_from_string(rtpCaps);
  GstPadTemplate* templ = gst_element_get_pad_template(webrtc, "sink_%u");
  GstPad* pad = gst_element_request_pad(webrtc, templ, nullptr, caps);
  gst_caps_unref(caps);
  return pad;
}
}  // namespace corvala::engine
