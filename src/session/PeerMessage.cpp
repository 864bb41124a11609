#include "session/PeerMessage.h"

#include "signalling/SignallingMessage.h"

namespace corvala {

QString PlatformTag(const QString& username) {
    QString tag = QStringLiteral("[WINDOWS]");
    for (const char* candidate : {"[Android]", "[iOS]", "[macOS]"})
        if (username.contains(QLatin1String(candidate)))
            tag = QLatin1String(candidate);
    return tag;
}

bool IsMobileTag(const QString& tag) {
    return tag == QLatin1String("[Android]") || tag == QLatin1String("[iOS]");
}

TPeerMessage TPeerMessage::FromObject(const QJsonObject& message) {
    const Envelope e = Envelope::FromObject(message);
    return TPeerMessage{e.from, e.type, e.payload, e.password, e.username, e.version};
}

int TPeerMessage::appVersion() const {
    bool ok = false;
    const int value = version.toInt(&ok);
    return ok ? value : 0;
}

}  // namespace corvala
