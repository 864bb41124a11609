#include "relay/UpnpPortForwarding.h"

#include "relay/MiniupnpcRouter.h"
#include "relay/PortMapper.h"

#include <QRandomGenerator>

namespace corvala {

UpnpPortForwarding::UpnpPortForwarding(std::chrono::milliseconds discoveryTimeout)
    : FDiscoveryTimeout(discoveryTimeout) {}

bool UpnpPortForwarding::EnsurePortMapping(int& relayPort) {
    MiniupnpcRouter router(FDiscoveryTimeout);
    PortMapper mapper(router, [](int n) { return static_cast<int>(QRandomGenerator::global()->bounded(n)); });
    return mapper.Ensure(relayPort);
}

}  // namespace corvala
