#include "session/ConnectArguments.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Log.h"

namespace corvala {

namespace {

// The value of option `name` at arguments[i] ("--name value" or
// "--name=value"); advances i past a separate value.
std::optional<QString> OptionValue(const QStringList& arguments, qsizetype& i, QLatin1String name) {
    const QString& arg = arguments[i];
    if (arg.compare(name, Qt::CaseInsensitive) == 0) {
        if (i + 1 >= arguments.size()) return QString();
        return arguments[++i];
    }
    if (arg.size() > name.size() && arg.at(name.size()) == u'=' &&
        arg.left(name.size()).compare(name, Qt::CaseInsensitive) == 0)
        return arg.mid(name.size() + 1);
    return std::nullopt;
}

}  // namespace

std::optional<ConnectOptions> ParseConnectArguments(const QStringList& arguments) {
    std::optional<QString> id;
    bool fromStdin = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (auto value = OptionValue(arguments, i, QLatin1String("--connect")))
            id = value->trimmed();
        else if (arguments[i].compare(QLatin1String("--password-stdin"), Qt::CaseInsensitive) == 0)
            fromStdin = true;
        else if (OptionValue(arguments, i, QLatin1String("--password")))
            qCWarning(lcSession) << "--password ignored: every local user can read a command line; use"
                                 << ConnectPasswordVariable << "or --password-stdin";
    }
    if (!id || id->isEmpty()) return std::nullopt;
    return ConnectOptions{*id, fromStdin};
}

QString TakeConnectPasswordFromEnvironment() {
    char* value = std::getenv(ConnectPasswordVariable);
    if (!value) return {};
    const std::size_t length = std::strlen(value);
    const QString password =
        length <= MaxConnectPasswordBytes ? QString::fromLocal8Bit(value, qsizetype(length)) : QString();
    if (length > MaxConnectPasswordBytes)
        qCWarning(lcSession) << ConnectPasswordVariable << "refused:" << length << "bytes, more than"
                             << MaxConnectPasswordBytes;
    std::memset(value, 0, length);
    ::unsetenv(ConnectPasswordVariable);
    return password;
}

std::optional<QString> ReadConnectPassword(std::istream& in) {
    std::string line;
    char c = 0;
    // Reading stops one byte (and a CR) past the limit: an endless line is
    // never read whole.
    while (line.size() <= MaxConnectPasswordBytes + 1 && in.get(c) && c != '\n') line += c;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > MaxConnectPasswordBytes) {
        qCWarning(lcSession) << "password from standard input refused: longer than" << MaxConnectPasswordBytes
                             << "bytes";
        return std::nullopt;
    }
    return QString::fromUtf8(line);
}

QByteArray EncodeConnectRequest(const ConnectRequest& request) {
    QJsonObject o;
    o.insert(QStringLiteral("connect"), request.id);
    o.insert(QStringLiteral("password"), request.password);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<ConnectRequest> DecodeConnectRequest(const QByteArray& line) {
    const QJsonDocument doc = QJsonDocument::fromJson(line.trimmed());
    if (!doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue id = o.value(QStringLiteral("connect"));
    if (!id.isString() || id.toString().isEmpty()) return std::nullopt;
    return ConnectRequest{id.toString(), o.value(QStringLiteral("password")).toString()};
}

}  // namespace corvala
