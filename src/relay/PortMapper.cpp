#include "relay/PortMapper.h"

#include "relay/PortForwarding.h"
#include "relay/RelayLog.h"

#include <algorithm>

namespace corvala {

namespace {

const QString MappingDescription = QStringLiteral("Corvala");
const QString Protocols[] = {QStringLiteral("TCP"), QStringLiteral("UDP")};

bool PortUsed(const RouterMappings& table, int port) {
    return std::any_of(table.entries.begin(), table.entries.end(),
                       [port](const RouterMapping& m) { return m.externalPort == port; });
}

}  // namespace

PortMapper::PortMapper(IRouter& router, std::function<int(int)> randomBelow)
    : FRouter(router), FRandomBelow(std::move(randomBelow)) {}

bool PortMapper::MappedHere(const RouterMappings& table, int port, const QString& lanAddress) const {
    // Both protocols must reach the relay here: a mapping left for one only,
    // or for another port of this host, does not carry the relay's traffic.
    return std::all_of(std::begin(Protocols), std::end(Protocols), [&](const QString& protocol) {
        return std::any_of(table.entries.begin(), table.entries.end(), [&](const RouterMapping& m) {
            return m.externalPort == port && m.protocol == protocol && m.internalClient == lanAddress &&
                   m.internalPort == RelayLocalPort;
        });
    });
}

bool PortMapper::AddBoth(int port, const QString& lanAddress) {
    if (lanAddress.isEmpty()) {
        qCWarning(lcPortForwarding) << "no LAN address for the mapping of port" << port;
        return false;
    }
    for (const QString& protocol : Protocols) {
        if (!FRouter.AddMapping(port, protocol, RelayLocalPort, lanAddress, MappingDescription)) {
            qCWarning(lcPortForwarding) << "the router refused the" << protocol << "mapping of port" << port << "to"
                                        << lanAddress;
            return false;
        }
    }
    qCInfo(lcPortForwarding) << "port" << port << "forwarded to" << lanAddress << "port" << RelayLocalPort;
    return true;
}

bool PortMapper::ChooseCandidate(int& relayPort) {
    const RouterMappings table = FRouter.Mappings();
    if (table.status == RouterMappings::Status::Failed) {
        qCWarning(lcPortForwarding) << "the router failed while listing its mappings";
        return false;
    }
    for (int port = FirstCandidate; port <= LastCandidate; ++port) {
        // Without a router every port looks free; adding then fails and the
        // fallback below picks a port for forwarding by hand.
        if (table.status == RouterMappings::Status::Listed && PortUsed(table, port)) continue;
        if (!AddBoth(port, FRouter.LanAddress())) return false;
        relayPort = port;
        return true;
    }
    qCWarning(lcPortForwarding) << "every candidate port from" << FirstCandidate << "to" << LastCandidate
                                << "is taken on the router";
    return false;
}

bool PortMapper::Ensure(int& relayPort) {
    if (relayPort != 0) {
        const QString lanAddress = FRouter.LanAddress();
        if (MappedHere(FRouter.Mappings(), relayPort, lanAddress)) return true;
        for (const QString& protocol : Protocols) FRouter.RemoveMapping(relayPort, protocol);
        return AddBoth(relayPort, lanAddress);
    }
    const bool mapped = ChooseCandidate(relayPort);
    if (relayPort == 0) {
        relayPort = FallbackFirst + FRandomBelow(FallbackCount);
        qCInfo(lcPortForwarding) << "no port mapped on the router; port" << relayPort
                                 << "is left for forwarding by hand";
    }
    return mapped;
}

}  // namespace corvala
