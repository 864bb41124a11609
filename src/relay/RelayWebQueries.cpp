#include "relay/RelayWebQueries.h"

#include "relay/RelayHostingLog.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>

namespace corvala {
namespace {

// An IPv4 address in text is at most 15 characters; room for line ends.
constexpr qint64 MaxAddressBody = 64;
constexpr qint64 MaxCountryBody = 64;
// The probe's answer is not read, only drained.
constexpr qint64 MaxProbeBody = 4096;
const QString UnknownCountry = QStringLiteral("XX");

}  // namespace

HttpRelayWebQueries::HttpRelayWebQueries(QString toolsAddress, QObject* parent)
    : QObject(parent), FBase(std::move(toolsAddress)) {
    while (FBase.endsWith(u'/')) FBase.chop(1);
}

void HttpRelayWebQueries::Get(const QString& pathAndQuery, int timeoutMs, qint64 maxBody,
                              std::function<void(std::optional<QByteArray>)> done) {
    const QUrl url(FBase + pathAndQuery);
    if (FBase.isEmpty() || !url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        qCWarning(lcRelayHosting) << "no web-service request: the tools address" << FBase << "is not usable";
        done(std::nullopt);
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(UserAgent));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = FNetwork.get(request);
    auto body = std::make_shared<QByteArray>();
    auto tooLong = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::readyRead, this, [reply, body, tooLong, maxBody] {
        if (*tooLong) return;
        body->append(reply->read(maxBody + 1 - body->size()));
        if (body->size() > maxBody) {
            *tooLong = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, body, tooLong, maxBody, url, done] {
        reply->deleteLater();
        if (*tooLong) {
            qCWarning(lcRelayHosting) << "answer of" << url.toString() << "refused: longer than" << maxBody << "bytes";
            done(std::nullopt);
            return;
        }
        if (reply->error() != QNetworkReply::NoError) {
            qCWarning(lcRelayHosting) << "request" << url.toString() << "failed:" << reply->errorString();
            done(std::nullopt);
            return;
        }
        body->append(reply->read(maxBody + 1 - body->size()));
        if (body->size() > maxBody) {
            qCWarning(lcRelayHosting) << "answer of" << url.toString() << "refused: longer than" << maxBody << "bytes";
            done(std::nullopt);
            return;
        }
        done(*body);
    });
}

void HttpRelayWebQueries::PublicAddress(std::function<void(QString)> done) {
    Get(QStringLiteral("/ip-check.php"), AddressTimeoutMs, MaxAddressBody, [done](std::optional<QByteArray> body) {
        done(body ? QString::fromLatin1(body->trimmed()) : QString());
    });
}

void HttpRelayWebQueries::Country(const QString& publicIp, std::function<void(QString)> done) {
    const QString query = QStringLiteral("/country-check.php?ip=") + QString::fromLatin1(QUrl::toPercentEncoding(publicIp));
    Get(query, AddressTimeoutMs, MaxCountryBody, [done](std::optional<QByteArray> body) {
        const QString text = body ? QString::fromLatin1(body->trimmed()) : QString();
        if (!body || text.size() > 2) {
            if (body) qCWarning(lcRelayHosting) << "country answer" << text.left(16) << "refused: more than two characters";
            done(UnknownCountry);
            return;
        }
        done(text);
    });
}

void HttpRelayWebQueries::ProbeRelay(const QString& publicIp, int port) {
    const QString query = QStringLiteral("/turn-check.php?server_ip=%1&server_port=%2")
                              .arg(QString::fromLatin1(QUrl::toPercentEncoding(publicIp)))
                              .arg(port);
    Get(query, ProbeTimeoutMs, MaxProbeBody, [](std::optional<QByteArray>) {});
}

}  // namespace corvala
