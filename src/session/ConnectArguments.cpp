#include "session/ConnectArguments.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace corvala {

namespace {

// The value of option `name` at arguments[i] ("--name value" or
// "--name=value"); advances i past a separate value.
std::optional<QString> optionValue(const QStringList& arguments, qsizetype& i, QLatin1String name) {
    const QString& arg = arguments[i];
    if (arg.compare(name, Qt::CaseInsensitive) == 0) {
        if (i + 1 >= arguments.size())
            return QString();
        return arguments[++i];
    }
    if (arg.size() > name.size() && arg.at(name.size()) == u'=' &&
        arg.left(name.size()).compare(name, Qt::CaseInsensitive) == 0)
        return arg.mid(name.size() + 1);
    return std::nullopt;
}

}  // namespace

std::optional<ConnectRequest> ParseConnectArguments(const QStringList& arguments) {
    std::optional<QString> id;
    QString password;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (auto v = optionValue(arguments, i, QLatin1String("--connect")))
            id = v->trimmed();
        else if (auto p = optionValue(arguments, i, QLatin1String("--password")))
            password = *p;
    }
    if (!id || id->isEmpty())
        return std::nullopt;
    return ConnectRequest{*id, password};
}

QByteArray EncodeConnectRequest(const ConnectRequest& request) {
    QJsonObject o;
    o.insert(QStringLiteral("connect"), request.id);
    o.insert(QStringLiteral("password"), request.password);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<ConnectRequest> DecodeConnectRequest(const QByteArray& line) {
    const QJsonDocument doc = QJsonDocument::fromJson(line.trimmed());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue id = o.value(QStringLiteral("connect"));
    if (!id.isString() || id.toString().isEmpty())
        return std::nullopt;
    return ConnectRequest{id.toString(), o.value(QStringLiteral("password")).toString()};
}

}  // namespace corvala
