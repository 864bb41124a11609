#include "PeerLiveness.h"

namespace corvala::engine {

namespace {
// RFC 7983's demultiplexing: RTP and RTCP (also when protected) start with
// a byte from 128 to 191, STUN from 0 to 3, DTLS (carrying SCTP) from 20 to 63.
bool isRtpOrRtcp(uint8_t firstByte) { return firstByte >= 128 && firstByte <= 191; }
}  // namespace

void PeerLiveness::packetArrived(uint8_t firstByte, int64_t nowMs) {
  lastPacketMs_.store(nowMs);
  if (isRtpOrRtcp(firstByte)) speaksRtp_.store(true);
}

int64_t PeerLiveness::silenceMs(int64_t nowMs) const {
  const int64_t last = lastPacketMs_.load();
  return last ? nowMs - last : 0;
}

bool PeerLiveness::vanished(int64_t nowMs) {
  if (!speaksRtp_.load() || silenceMs(nowMs) <= limitMs_) return false;
  return !reported_.exchange(true);
}

}  // namespace corvala::engine
