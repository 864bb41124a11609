#include "signalling/SignallingMessage.h"

#include "signalling/JsonEscape.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

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
    if (v.isDouble()) return QString::number(v.toInteger(static_cast<qint64>(v.toDouble())));
    return {};
}

}  // namespace corvala
