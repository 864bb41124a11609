#pragma once
// One received peer message ("message" envelope) as session set-up reads it.

#include <QJsonObject>
#include <QString>

namespace corvala {

// "[WINDOWS]" unless the display name carries "[Android]", "[iOS]" or
// "[macOS]"; they are tested in this order and the last one found wins.
QString PlatformTag(const QString& username);
// Android and iOS devices are mobile: the host demonstrates, the viewer talks.
bool IsMobileTag(const QString& tag);

struct TPeerMessage {
    QString from;
    QString type;
    QString payload;
    QString password;  // missing reads as empty
    QString username;
    QString version;   // missing (older peers) reads as empty

    static TPeerMessage FromObject(const QJsonObject& message);

    QString platformTag() const { return PlatformTag(username); }
    bool isMobile() const { return IsMobileTag(platformTag()); }
    // The version as a number; 0 when empty or not a number.
    int appVersion() const;
};

}  // namespace corvala
