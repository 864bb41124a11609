// The bare webrtcbin pipeline the engine is measured against: ximagesrc at
// a fixed rate -> leaky queue -> VP8 -> webrtcbin, answered by a second
// webrtcbin in the same pipeline -> VP8 decoder -> BGRx frames. No engine
// code: its own negotiation, loopback ICE and frame hand-over.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct _GstElement;

class ReferencePipeline {
 public:
  // `onPixels` gets each decoded frame (BGRx, packed) on a streaming thread.
  ReferencePipeline(const std::string& display, int width, int height, int fps,
                    std::function<void(const uint8_t* pixels, int width)> onPixels);
  ~ReferencePipeline();
  bool ok() const { return pipeline_ != nullptr; }

 private:
  _GstElement* pipeline_ = nullptr;
  std::function<void(const uint8_t*, int)> onPixels_;
};
