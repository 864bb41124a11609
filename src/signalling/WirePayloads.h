#pragma once
// The JSON objects that travel inside an envelope's `payload`, each written
// with the signalling escaping and then stored as a string (so the line
// escapes its quotes and backslashes a second time).

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace corvala {

// A relay as the server hands it out and as a host announces its own one
// (only the announcement carries `country`).
struct IceServer {
    QString password;
    QString username;
    QString url;  // "turn:" address ":" port, or empty when there is none
    std::optional<QString> country;

    QString toJson() const;
    // Missing members read as empty; nothing when the text is not an object.
    static std::optional<IceServer> FromJson(const QString& text);
    static IceServer FromObject(const QJsonObject& object);
};

// The session description of an "offer" or "answer".
struct SdpObject {
    QString type;
    QString sdp;

    QString toJson() const;
    static std::optional<SdpObject> FromJson(const QString& text);
};

// One ICE candidate; `label` is the only number in the whole protocol.
struct CandidateObject {
    int label = 0;
    QString id;
    QString candidate;

    QString toJson() const;
    // Nothing when the text is not an object or its label is no media-line
    // index (negative, fractional beyond truncation, or beyond int).
    static std::optional<CandidateObject> FromJson(const QString& text);
};

// A host's refusal; `payload` repeats the password of the refused message.
struct ErrorObject {
    QString type;
    QString payload;

    QString toJson() const;
    static std::optional<ErrorObject> FromJson(const QString& text);
};

struct MonitorRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const MonitorRect&, const MonitorRect&) = default;
};

// The payload of both "turn" messages: the relay to use, the host's screen
// layout and its MAC text. Optional members are left out of the JSON when unset.
struct SessionInfoPayload {
    IceServer ice;  // always written, country never
    std::optional<int> monitorCount;
    QString monitorCoordinates;
    int primaryMonitor = 0;
    int desktopLeft = 0;
    int desktopTop = 0;
    std::optional<int> desktopWidth;
    std::optional<int> desktopHeight;
    QString macAddress;

    QString toJson() const;

    // Builds the payload from the computer's monitors. The monitor list goes
    // out only for 2 to 9 monitors (its keys hold a single digit); with lock
    // screen mode no screen member goes out at all.
    static SessionInfoPayload Make(const IceServer& ice, const QList<MonitorRect>& monitors,
                                   int primaryIndex, bool lockScreenMode,
                                   const QString& macAddress);
};

// "m" i "l" left "m" i "t" top ... for each monitor, and a final "m".
QString MonitorCoordinatesText(const QList<MonitorRect>& monitors);

// The value of key "m" i letter: it starts three characters after the key and
// runs up to the next "m" after the key's own "m". Nothing when the key is absent.
std::optional<int> ReadMonitorCoordinate(const QString& text, int index, QChar letter);

struct RemoteMonitor {
    MonitorRect rect;
    bool primary = false;
    friend bool operator==(const RemoteMonitor&, const RemoteMonitor&) = default;
};

// What a viewer learns about the remote screens from a SessionInfoPayload.
// Desktop width and height are unset when the payload left them out, so the
// caller keeps what it had.
struct RemoteScreenLayout {
    QList<RemoteMonitor> monitors;  // empty for a single monitor
    int currentMonitor = 0;
    int desktopLeft = 0;
    int desktopTop = 0;
    std::optional<int> desktopWidth;
    std::optional<int> desktopHeight;
};

RemoteScreenLayout ReadSessionInfo(const QJsonObject& payload);

}  // namespace corvala
