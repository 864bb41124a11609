#include "relay/MiniupnpcRouter.h"

#include "relay/LanAddress.h"
#include "relay/RelayLog.h"

#include <QHostAddress>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <array>

namespace corvala {

namespace {

// UPnP errors that mean "past the end of the table" rather than a failure.
constexpr int SpecifiedArrayIndexInvalid = 713;
constexpr int NoSuchEntryInArray = 714;

// Strings out of the router's answers: miniupnpc cuts them to its buffers;
// we still check that they are what they claim to be.
int ParsePort(const char* text) {
    bool ok = false;
    const int port = QString::fromLatin1(text).trimmed().toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : 0;
}

QString ParseIpv4(const char* text) {
    const QString trimmed = QString::fromLatin1(text).trimmed();
    QHostAddress address;
    if (!address.setAddress(trimmed) || address.protocol() != QHostAddress::IPv4Protocol) return {};
    return address.toString();
}

QByteArray Decimal(int value) { return QByteArray::number(value); }

}  // namespace

struct MiniupnpcRouter::Gateway {
    UPNPUrls urls{};
    IGDdatas data{};
    QString lanAddress;
    ~Gateway() { FreeUPNPUrls(&urls); }
};

MiniupnpcRouter::MiniupnpcRouter(std::chrono::milliseconds discoveryTimeout) {
    int error = 0;
    UPNPDev* devices = upnpDiscover(static_cast<int>(discoveryTimeout.count()), nullptr, nullptr, 0, 0, 2, &error);
    if (!devices) {
        qCInfo(lcPortForwarding) << "no UPnP router answered the discovery (error" << error << ")";
        return;
    }
    auto gateway = std::make_unique<Gateway>();
    std::array<char, 64> lanAddress{};
    const int found = UPNP_GetValidIGD(devices, &gateway->urls, &gateway->data, lanAddress.data(),
                                       static_cast<int>(lanAddress.size()));
    freeUPNPDevlist(devices);
    if (found != 1 && found != 2) {
        qCInfo(lcPortForwarding) << "no Internet gateway among the UPnP devices (answer" << found << ")";
        return;
    }
    if (found == 2) qCWarning(lcPortForwarding) << "the router reports its WAN connection as down";
    gateway->lanAddress = ParseIpv4(lanAddress.data());
    if (gateway->lanAddress.isEmpty()) {
        // The local end of the socket that reached the router; should never
        // be unusable, but the default interface is the next best answer.
        qCWarning(lcPortForwarding) << "unusable local address after discovery:" << lanAddress.data();
        gateway->lanAddress = DefaultLanAddress();
    }
    qCInfo(lcPortForwarding) << "UPnP router at" << gateway->urls.controlURL << "reached from"
                             << gateway->lanAddress;
    FGateway = std::move(gateway);
}

MiniupnpcRouter::~MiniupnpcRouter() = default;

bool MiniupnpcRouter::Found() const { return FGateway != nullptr; }

QString MiniupnpcRouter::LanAddress() { return FGateway ? FGateway->lanAddress : DefaultLanAddress(); }

RouterMappings MiniupnpcRouter::Mappings() {
    RouterMappings table;
    if (!FGateway) return table;
    table.status = RouterMappings::Status::Listed;
    for (int index = 0; index < MaxListedMappings; ++index) {
        // Buffers above miniupnpc's documented sizes; it cuts and terminates.
        char extPort[16]{}, intClient[64]{}, intPort[16]{}, protocol[16]{}, desc[128]{}, enabled[16]{},
            remoteHost[128]{}, duration[32]{};
        const int result = UPNP_GetGenericPortMappingEntry(
            FGateway->urls.controlURL, FGateway->data.first.servicetype, Decimal(index).constData(), extPort,
            intClient, intPort, protocol, desc, enabled, remoteHost, duration);
        if (result == SpecifiedArrayIndexInvalid || result == NoSuchEntryInArray) return table;
        if (result != UPNPCOMMAND_SUCCESS) {
            qCWarning(lcPortForwarding) << "listing the router's mappings failed at entry" << index << ":"
                                        << strupnperror(result);
            table.status = RouterMappings::Status::Failed;
            return table;
        }
        RouterMapping mapping{ParsePort(extPort), QString::fromLatin1(protocol).trimmed().toUpper(),
                              ParseIpv4(intClient), ParsePort(intPort)};
        if (mapping.externalPort == 0) {
            qCWarning(lcPortForwarding) << "dropped router mapping" << index << "with external port" << extPort;
            continue;
        }
        // Kept, as it still takes its port; it just never counts as ours.
        if (mapping.internalClient.isEmpty())
            qCWarning(lcPortForwarding) << "router mapping" << index << "names no usable client:" << intClient;
        table.entries.push_back(mapping);
    }
    qCWarning(lcPortForwarding) << "the router lists more than" << MaxListedMappings
                                << "mappings; the rest is ignored";
    return table;
}

bool MiniupnpcRouter::AddMapping(int externalPort, const QString& protocol, int internalPort, const QString& client,
                                 const QString& description) {
    if (!FGateway) return false;
    const int result = UPNP_AddPortMapping(FGateway->urls.controlURL, FGateway->data.first.servicetype,
                                           Decimal(externalPort).constData(), Decimal(internalPort).constData(),
                                           client.toLatin1().constData(), description.toUtf8().constData(),
                                           protocol.toLatin1().constData(), nullptr, "0");
    if (result != UPNPCOMMAND_SUCCESS)
        qCWarning(lcPortForwarding) << "adding" << protocol << externalPort << "failed:" << strupnperror(result);
    return result == UPNPCOMMAND_SUCCESS;
}

bool MiniupnpcRouter::RemoveMapping(int externalPort, const QString& protocol) {
    if (!FGateway) return false;
    const int result = UPNP_DeletePortMapping(FGateway->urls.controlURL, FGateway->data.first.servicetype,
                                              Decimal(externalPort).constData(), protocol.toLatin1().constData(),
                                              nullptr);
    if (result != UPNPCOMMAND_SUCCESS)
        qCInfo(lcPortForwarding) << "removing" << protocol << externalPort << "failed:" << strupnperror(result);
    return result == UPNPCOMMAND_SUCCESS;
}

}  // namespace corvala
