#include "relay/RelayWebQueries.h"

#include "relay/RelayHostingLog.h"

#include "web/HttpClient.h"

#include <QUrl>

#include <memory>

namespace corvala {
namespace {

// An IPv4 address in text is at most 15 characters; room for line ends.
constexpr qint64 MaxAddressBody = 64;
constexpr qint64 MaxCountryBody = 64;
// The probe's answer is not used.
constexpr qint64 MaxProbeBody = 4096;
const QString UnknownCountry = QStringLiteral("XX");

}  // namespace

HttpRelayWebQueries::HttpRelayWebQueries(QString toolsAddress, QString rootCertificate, QObject* parent)
    : QObject(parent), FBase(std::move(toolsAddress)), FRootCertificate(std::move(rootCertificate)) {
    while (FBase.endsWith(u'/')) FBase.chop(1);
}

void HttpRelayWebQueries::Get(const QString& pathAndQuery, long timeoutSeconds, qint64 maxBody,
                              std::function<void(std::optional<QByteArray>)> done) {
    const QUrl url(FBase + pathAndQuery);
    if (FBase.isEmpty() || !url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        qCWarning(lcRelayHosting) << "no web-service request: the tools address" << FBase << "is not usable";
        done(std::nullopt);
        return;
    }
    web::HttpRequest request;
    request.Url = url.toString();
    request.RootCertificateFile = FRootCertificate;
    request.MaxBytes = maxBody;
    request.StallSeconds = timeoutSeconds;
    // The transfer lives until it reports; it is this object's child, so
    // closing the program aborts whatever still runs.
    auto transfer = std::make_shared<web::HttpTransfer*>(nullptr);
    *transfer = new web::HttpTransfer(
        std::move(request), {},
        [transfer, done](const web::HttpResult& result) {
            (*transfer)->deleteLater();
            if (!result.Ok) {
                qCWarning(lcRelayHosting) << "web-service request failed:" << result.Error;
                done(std::nullopt);
                return;
            }
            done(result.Body);
        },
        this);
}

void HttpRelayWebQueries::PublicAddress(std::function<void(QString)> done) {
    Get(QStringLiteral("/ip-check.php"), AddressTimeoutSeconds, MaxAddressBody, [done](std::optional<QByteArray> body) {
        done(body ? QString::fromLatin1(body->trimmed()) : QString());
    });
}

void HttpRelayWebQueries::Country(const QString& publicIp, std::function<void(QString)> done) {
    const QString query = QStringLiteral("/country-check.php?ip=") + QString::fromLatin1(QUrl::toPercentEncoding(publicIp));
    Get(query, AddressTimeoutSeconds, MaxCountryBody, [done](std::optional<QByteArray> body) {
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
    Get(query, ProbeTimeoutSeconds, MaxProbeBody, [](std::optional<QByteArray>) {});
}

}  // namespace corvala
