#include "signalling/SignallingEndpoint.h"

#include <QtGlobal>

#ifndef CORVALA_SIGNALLING_HOST
#define CORVALA_SIGNALLING_HOST "127.0.0.1:8996"
#endif

namespace corvala {

std::optional<SignallingEndpoint> ParseSignallingEndpoint(QStringView text) {
    text = text.trimmed();
    SignallingEndpoint result;
    QStringView portText;
    if (text.startsWith(u'[')) {
        const auto close = text.indexOf(u']');
        if (close < 0) return std::nullopt;
        result.host = text.mid(1, close - 1).toString();
        const QStringView rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':')) return std::nullopt;
            portText = rest.mid(1);
        }
    } else {
        const auto colon = text.lastIndexOf(u':');
        // More than one colon without brackets is a bare IPv6 address.
        if (colon >= 0 && text.indexOf(u':') == colon) {
            result.host = text.left(colon).toString();
            portText = text.mid(colon + 1);
        } else {
            result.host = text.toString();
        }
    }
    if (result.host.isEmpty()) return std::nullopt;
    if (!portText.isNull()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535) return std::nullopt;
        result.port = static_cast<quint16>(port);
    }
    return result;
}

SignallingEndpoint SignallingHost() {
    const QString fromEnvironment = qEnvironmentVariable("CORVALA_SIGNALLING");
    if (!fromEnvironment.isEmpty()) {
        if (auto e = ParseSignallingEndpoint(fromEnvironment)) return *e;
    }
    return ParseSignallingEndpoint(QStringLiteral(CORVALA_SIGNALLING_HOST))
        .value_or(SignallingEndpoint{QStringLiteral("127.0.0.1"), SignallingPort});
}

}  // namespace corvala
