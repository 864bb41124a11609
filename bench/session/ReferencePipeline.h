// The bare webrtcbin pipeline the engine is measured against: ximagesrc at a
// fixed rate -> leaky queue -> VP8 (the engine's encoder settings) -> one
// webrtcbin, answered by a second webrtcbin in the same process over
// loopback -> VP8 decoder -> appsink. No program, no capture of our own, no
// painting: what webrtcbin alone costs and takes on this machine.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

typedef struct _GstElement GstElement;

namespace corvala::bench {

class ReferencePipeline {
public:
    // Captures `display` at `fps` and keeps the decoded colour of the pixel
    // at (probeX, probeY).
    ReferencePipeline(const std::string& display, int fps, int probeX, int probeY);
    ~ReferencePipeline();
    ReferencePipeline(const ReferencePipeline&) = delete;
    ReferencePipeline& operator=(const ReferencePipeline&) = delete;

    bool Ok() const { return pipeline_ != nullptr; }
    // 0xRRGGBB of the probe pixel in the last decoded frame; 0 before one.
    unsigned long Probe() const { return probe_.load(); }

    // webrtcbin's and the decoder's callbacks.
    void OnOffer(void* promise);
    void OnAnswer(void* promise);
    void OnCandidate(GstElement* from, unsigned mline, const char* candidate);
    void OnDecodedPad(void* pad);
    void OnFrame(GstElement* sink);

private:
    GstElement* pipeline_ = nullptr;
    GstElement* sender_ = nullptr;
    GstElement* receiver_ = nullptr;
    const int probeX_, probeY_;
    std::atomic<unsigned long> probe_{0};
};

}  // namespace corvala::bench
