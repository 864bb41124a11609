// How the video encoders are set for screen content: real-time, no frame
// held back, a constant rate, and the encode spread over the machine's
// cores with as little added latency as the codec allows.
#pragma once

#include "VideoCodec.h"

#include <string>

namespace corvala::engine {

// Bitrate the encoder aims at for this size and frame rate, in bit/s.
int targetBitrate(int width, int height, int fps);

// gst-launch description of the encoder element, named "encoder", followed
// by the caps it must produce. `threads` (H.264's slice threads) 0: as many
// as the machine has cores.
std::string encoderDescription(VideoCodecKind kind, int bitrate, int fps, int threads = 0);

}  // namespace corvala::engine
