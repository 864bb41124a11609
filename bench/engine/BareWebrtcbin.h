// The reference for the engine's data-channel figures: two bare webrtcbin
// elements back to back in this process over loopback, wired as the media
// engine's notes describe (VP8 realtime settings, a leaky queue before the
// encoder), with none of the engine around them: each message is answered
// straight from webrtcbin's own signal thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace bench {

// Fills one width x height BGRx picture (packed) for frame number n.
using Painter = std::function<void(uint8_t* pixels, int width, int height, uint64_t n)>;

class BareWebrtcbinPair {
 public:
  // With a painter, the offering side also sends that picture as VP8 at
  // `fps` on the same connection, and the answering side decodes it.
  BareWebrtcbinPair(Painter painter, int width, int height, int fps);
  ~BareWebrtcbinPair();
  BareWebrtcbinPair(const BareWebrtcbinPair&) = delete;
  BareWebrtcbinPair& operator=(const BareWebrtcbinPair&) = delete;

  // Until the offering side's channel is open (and, with video, the first
  // frame was decoded); false after `seconds`.
  bool waitReady(int seconds);
  // 65,536-byte records from the offering side, each answered by a one-byte
  // "D" before the next leaves; MB/s, or -1 when an answer did not come.
  double stopAndWait(size_t megabytes);
  int framesDecoded() const;

  struct State;  // shared with webrtcbin's signal handlers

 private:
  std::unique_ptr<State> state_;
};

}  // namespace bench
