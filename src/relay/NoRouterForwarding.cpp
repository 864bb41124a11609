#include "relay/NoRouterForwarding.h"

#include <QRandomGenerator>

namespace corvala {

bool NoRouterForwarding::EnsurePortMapping(int& relayPort) {
    if (relayPort == 0) relayPort = 5500 + int(QRandomGenerator::global()->bounded(500));
    return false;
}

}  // namespace corvala
