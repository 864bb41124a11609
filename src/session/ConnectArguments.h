#pragma once
// `cr --connect ID`: opens the connection dialog of the running copy (or of
// this one, when it is the first) pre-filled with the ID and password and
// confirms it, through the same connect action as a click.
//
// The password never travels on a command line, where every local user reads
// it in the process list: it comes from the environment variable
// CORVALA_CONNECT_PASSWORD, or from the first line of standard input when
// "--password-stdin" is given. A "--password" option is refused (logged).
// To a running copy the request goes only through its instance channel.
//
// "--connect ID" and "--connect=ID" are both accepted; the option names are
// compared without regard to case.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <istream>
#include <optional>

namespace corvala {

struct ConnectRequest {
    QString id;
    QString password;
    friend bool operator==(const ConnectRequest&, const ConnectRequest&) = default;
};

// What the command line asks for.
struct ConnectOptions {
    QString Id;
    bool PasswordFromStdin = false;  // "--password-stdin"
    friend bool operator==(const ConnectOptions&, const ConnectOptions&) = default;
};

// Nothing when "--connect" is absent or has no value.
std::optional<ConnectOptions> ParseConnectArguments(const QStringList& arguments);

inline constexpr char ConnectPasswordVariable[] = "CORVALA_CONNECT_PASSWORD";
// A password longer than this is nobody's typing: refused.
inline constexpr std::size_t MaxConnectPasswordBytes = 1024;

// The password in CORVALA_CONNECT_PASSWORD (empty when unset or refused).
// The variable leaves the environment at once, its bytes overwritten first:
// the process's initial environment stays readable in /proc after a mere
// unsetenv.
QString TakeConnectPasswordFromEnvironment();

// The first line of `in` without its line end (CR LF or LF); nothing when it
// is longer than MaxConnectPasswordBytes.
std::optional<QString> ReadConnectPassword(std::istream& in);

// The request as one line for the running copy's instance channel, and back.
// Decoding anything that is not such a line gives nothing.
QByteArray EncodeConnectRequest(const ConnectRequest& request);
std::optional<ConnectRequest> DecodeConnectRequest(const QByteArray& line);

}  // namespace corvala
