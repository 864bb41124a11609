// Notices a peer that vanished without a word (its process killed, its
// network gone). Nothing in webrtcbin does within minutes: ICE stays
// "completed" (with answered keepalives it fails after about 50 s), DTLS
// and SCTP never close while the association waits for acknowledgements,
// and neither do the data channels.
//
// What does arrive from a live peer are its packets: every RTP participant
// sends reports (RTCP) every few seconds, even one that only receives
// (RFC 3550: at most about 7.5 s apart, our own engine about every second),
// and media in between. So once the peer has shown that it speaks RTP, a
// silence longer than the limit means it is gone. A connection without any
// RTP (data channels only) has SCTP heartbeats 30 s apart at best; it is
// left to ICE's keepalives.
#pragma once

#include <atomic>
#include <cstdint>

namespace corvala::engine {

class PeerLiveness {
 public:
  explicit PeerLiveness(int64_t silenceLimitMs) : limitMs_(silenceLimitMs) {}

  // Every packet that arrives from the peer, before any decryption; called
  // on a streaming thread. Times are milliseconds of one monotonic clock.
  void packetArrived(uint8_t firstByte, int64_t nowMs);
  // True exactly once: the first time the peer counts as gone.
  bool vanished(int64_t nowMs);
  int64_t silenceMs(int64_t nowMs) const;

 private:
  const int64_t limitMs_;
  std::atomic<int64_t> lastPacketMs_{0};
  std::atomic<bool> speaksRtp_{false};
  std::atomic<bool> reported_{false};
};

}  // namespace corvala::engine
