#include "relay/LanAddress.h"

#include <QFile>
#include <QNetworkInterface>
#include <QRegularExpression>

namespace corvala {

namespace {

QString FirstIpv4(const QNetworkInterface& adapter) {
    for (const QNetworkAddressEntry& entry : adapter.addressEntries())
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.ip().isLoopback())
            return entry.ip().toString();
    return {};
}

}  // namespace

QString DefaultRouteInterface(const QString& routeTable) {
    // Columns: Iface Destination Gateway Flags ...; the default route has
    // destination 00000000 and the "up" flag (1).
    const QStringList lines = routeTable.split(u'\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList columns = lines[i].split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (columns.size() < 4 || columns[1] != QLatin1String("00000000")) continue;
        bool ok = false;
        if (columns[3].toUInt(&ok, 16) & 1u) return columns[0];
    }
    return {};
}

QString DefaultLanAddress() {
    QFile routes(QStringLiteral("/proc/net/route"));
    // The table is small; a bound keeps an odd kernel file from costing much.
    const QString table = routes.open(QIODevice::ReadOnly) ? QString::fromLatin1(routes.read(64 * 1024)) : QString();
    if (const QString name = DefaultRouteInterface(table); !name.isEmpty())
        if (const QString address = FirstIpv4(QNetworkInterface::interfaceFromName(name)); !address.isEmpty())
            return address;
    for (const QNetworkInterface& adapter : QNetworkInterface::allInterfaces())
        if (adapter.flags().testFlag(QNetworkInterface::IsUp))
            if (const QString address = FirstIpv4(adapter); !address.isEmpty()) return address;
    return {};
}

}  // namespace corvala
