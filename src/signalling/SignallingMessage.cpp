#include "signalling/SignallingMessage.h"

#include "signalling/JsonEscape.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QVariant>

#include <cmath>

namespace corvala {
namespace {

std::u16string_view units(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

QString stringMember(const QJsonObject& object, QLatin1StringView key) {
    const QJsonValue v = object.value(key);
    return v.isString() ? v.toString() : QString();
}

}  // namespace

Envelope Envelope::FromObject(const QJsonObject& o) {
    return Envelope{stringMember(o, QLatin1StringView("msg")),
                    stringMember(o, QLatin1StringView("from")),
                    stringMember(o, QLatin1StringView("to")),
                    stringMember(o, QLatin1StringView("type")),
                    stringMember(o, QLatin1StringView("payload")),
                    stringMember(o, QLatin1StringView("password")),
                    stringMember(o, QLatin1StringView("username")),
                    stringMember(o, QLatin1StringView("version"))};
}

QByteArray Envelope::toLine() const {
    JsonObjectWriter w;
    w.add("msg", units(msg))
        .add("from", units(from))
        .add("to", units(to))
        .add("type", units(type))
        .add("payload", units(payload))
        .add("password", units(password))
        .add("username", units(username))
        .add("version", units(version));
    const std::string text = w.take();
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray GetMessage(const QString& from, const QString& msg, const QString& peer,
                      const QString& msgType, const QString& payload, const QString& password,
                      const QString& username, const QString& sversion) {
    return Envelope{msg, from, peer, msgType, payload, password, username, sversion}.toLine();
}

std::optional<QJsonObject> ParseSignallingLine(QByteArrayView line) {
    if (line.endsWith('\n')) line.chop(1);
    if (line.endsWith('\r')) line.chop(1);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

std::optional<QJsonObject> ParsePayloadObject(const QString& payload) {
    return ParseSignallingLine(payload.toUtf8());
}

QString MemberText(const QJsonObject& object, QStringView key) {
    const QJsonValue v = object.value(key);
    if (v.isString()) return v.toString();
    if (v.isDouble()) {
        // Whole numbers that fit in 64 bits arrive exact; any other number is
        // a double whose conversion is defined only inside the 64-bit range
        // (a peer may well write 1e300).
        const QVariant n = v.toVariant();
        if (n.typeId() == QMetaType::LongLong) return QString::number(n.toLongLong());
        const double d = v.toDouble();
        if (std::isfinite(d) && d >= -0x1p63 && d < 0x1p63) return QString::number(static_cast<qint64>(d));
    }
    return {};
}

}  // namespace corvala
