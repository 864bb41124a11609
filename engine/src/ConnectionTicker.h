// Once a second every live connection gets a tick (rate control, the
// peer's liveness), from one thread for all of them.
#pragma once

#include <memory>

namespace corvala::engine {

class PeerConnection;

class ConnectionTicker {
 public:
  // Starts the thread on first use; a connection drops out once it is gone.
  static void watch(std::weak_ptr<PeerConnection> pc);
};

}  // namespace corvala::engine
