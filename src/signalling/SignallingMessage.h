#pragma once
// The signalling line: one JSON envelope of eight string members per line.
// Writing goes through the shared ASCII escaping (JsonEscape.h); reading uses
// ordinary JSON rules, so any valid escaping from a peer is accepted.

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <optional>

#include "signalling/LineFramer.h"  // wire::MaxLineLength

namespace corvala {

namespace wire {
// Message kinds (`msg`).
inline constexpr char16_t Join[] = u"join";
inline constexpr char16_t Joined[] = u"joined";
inline constexpr char16_t InvalidId[] = u"invalid_id";
inline constexpr char16_t GetPublicTurn[] = u"getpublicturn";
inline constexpr char16_t PublicTurn[] = u"publicturn";
inline constexpr char16_t RemoveTurn[] = u"removeturn";
inline constexpr char16_t Review[] = u"review";
inline constexpr char16_t Message[] = u"message";
// Peer message types (`type` of a "message").
inline constexpr char16_t Init[] = u"init";
inline constexpr char16_t Turn[] = u"turn";
inline constexpr char16_t Offer[] = u"offer";
inline constexpr char16_t Answer[] = u"answer";
inline constexpr char16_t Candidate[] = u"candidate";
inline constexpr char16_t Error[] = u"error";
// `type` of a "getpublicturn" sent from the connection dialog.
inline constexpr char16_t NewConnection[] = u"newconnection";
// The version number that peer messages carry in `version`.
inline constexpr char16_t ProtocolVersion[] = u"42";

// The keep-alive line; it is not JSON.
inline constexpr char KeepAliveLine[] = "p";
inline constexpr char LineEnd[] = "\r\n";
}  // namespace wire

// The eight members in their wire order. Missing or non-string members of a
// received object read as empty, which is also how an older peer's absent
// `version` is meant to be taken.
struct Envelope {
    QString msg;
    QString from;
    QString to;
    QString type;
    QString payload;
    QString password;
    QString username;
    QString version;

    static Envelope FromObject(const QJsonObject& object);
    // The line without its line end.
    QByteArray toLine() const;
};

// Builds an envelope line (without CR LF). `from` is the sender's DeviceId.
QByteArray GetMessage(const QString& from, const QString& msg, const QString& peer = {},
                      const QString& msgType = {}, const QString& payload = {},
                      const QString& password = {}, const QString& username = {},
                      const QString& sversion = {});

// Parses one received line (a trailing LF and a CR before it are dropped).
// Returns nothing when the line is not a JSON object.
std::optional<QJsonObject> ParseSignallingLine(QByteArrayView line);

// Parses text carried in a payload as a JSON object; nothing when it is not one.
std::optional<QJsonObject> ParsePayloadObject(const QString& payload);

// Reads a member as text: strings as they are, numbers in decimal, anything
// else (missing, null, objects) as empty.
QString MemberText(const QJsonObject& object, QStringView key);

}  // namespace corvala
