#pragma once
// `cr --connect ID [--password PW]`: opens the connection dialog of the
// running copy (or of this one, when it is the first) pre-filled with the ID
// and password and confirms it, through the same connect action as a click.
//
// Both "--connect ID" and "--connect=ID" are accepted (likewise
// "--password"); the option names are compared without regard to case.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvala {

struct ConnectRequest {
    QString id;
    QString password;
    friend bool operator==(const ConnectRequest&, const ConnectRequest&) = default;
};

// Nothing when "--connect" is absent or has no value.
std::optional<ConnectRequest> ParseConnectArguments(const QStringList& arguments);

// The request as one line for the running copy's instance channel, and back.
// Decoding anything that is not such a line gives nothing.
QByteArray EncodeConnectRequest(const ConnectRequest& request);
std::optional<ConnectRequest> DecodeConnectRequest(const QByteArray& line);

}  // namespace corvala
