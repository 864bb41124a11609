#pragma once
// Where the signalling server lives: the build's SignallingHost constant,
// which a self-hosted setup or a test replaces through CORVALA_SIGNALLING.

#include <QString>
#include <QStringView>

#include <optional>

namespace corvala {

inline constexpr quint16 SignallingPort = 8996;

struct SignallingEndpoint {
    QString host;
    quint16 port = SignallingPort;
    friend bool operator==(const SignallingEndpoint&, const SignallingEndpoint&) = default;
};

// "host", "host:port", "[v6-address]" or "[v6-address]:port"; a missing port
// means 8996. Nothing for an empty host or a port outside 1..65535.
std::optional<SignallingEndpoint> ParseSignallingEndpoint(QStringView text);

// CORVALA_SIGNALLING when it is set and valid, else the build's constant.
SignallingEndpoint SignallingHost();

}  // namespace corvala
