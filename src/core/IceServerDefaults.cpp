#include "core/IceServerDefaults.h"

#include <QRegularExpression>

namespace corvala {

TIceServers DefaultIceServers(const std::optional<QString>& environmentValue) {
    TIceServers servers;
    if (!environmentValue) {
        servers.append({"stun:stun.l.google.com:19302", {}, {}});
        servers.append({"stun:stun1.l.google.com:19302", {}, {}});
        return servers;
    }
    static const QRegularExpression separators("[,\\s]+");
    for (const QString& url : environmentValue->split(separators, Qt::SkipEmptyParts)) servers.append({url, {}, {}});
    return servers;
}

std::optional<QString> IceServersFromEnvironment() {
    if (!qEnvironmentVariableIsSet("CORVALA_ICE_SERVERS")) return std::nullopt;
    return qEnvironmentVariable("CORVALA_ICE_SERVERS");
}

}  // namespace corvala
