// Two media-engine peers in one process whose ICE runs only through a TURN
// relay: each learns nothing of the other but its relayed candidates, so
// every path between them ends at an allocation on the relay. Without a
// relay URL the pair is direct (host candidates), for comparison.
#pragma once

#include "EngineHarness.h"

#include <atomic>
#include <memory>
#include <string>

namespace corvala::relay {

struct TurnAccount {
  std::string url;  // "turn:host:port"; empty: no relay, a direct pair
  std::string user, password;
};

class RelayedPair {
 public:
  explicit RelayedPair(const TurnAccount& turn, engine_test::StreamMaker makeA = {},
                       engine_test::StreamMaker makeB = {});
  ~RelayedPair();
  RelayedPair(const RelayedPair&) = delete;
  RelayedPair& operator=(const RelayedPair&) = delete;

  bool waitConnected() { return a->waitForRemoteChannel() && b->waitForRemoteChannel(); }

  engine_test::Engine& engine;
  rtc_handle audioA, audioB, factoryA, factoryB, iceA, iceB;
  std::unique_ptr<engine_test::TestPeer> a, b;
  // Candidates handed to the other side, and those kept from it.
  std::atomic<int> relayedCandidates{0}, withheldCandidates{0};

 private:
  void relayOnly(engine_test::TestPeer& from, engine_test::TestPeer& to);
};

}  // namespace corvala::relay
