#pragma once
// The three questions the relay setup asks the product's web service (the
// tools address): this host's public address, the country of an address,
// and a probe datagram to the relay. Each answers once, later, on the
// caller's event loop; none ever blocks.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace corvala {

class IRelayWebQueries {
public:
    virtual ~IRelayWebQueries() = default;
    // The answer's body as it came (trimmed); empty on any error.
    virtual void PublicAddress(std::function<void(QString)> done) = 0;
    // The body when it has at most two characters; "XX" on any error and
    // for a longer body.
    virtual void Country(const QString& publicIp, std::function<void(QString)> done) = 0;
    // Asks the service to send a datagram to `publicIp`:`port`; its answer
    // and its errors do not matter.
    virtual void ProbeRelay(const QString& publicIp, int port) = 0;
};

// Over the program's web client (src/web). Every answer is bounded in size
// and time; what is refused is logged.
class HttpRelayWebQueries final : public QObject, public IRelayWebQueries {
public:
    // `toolsAddress`: the base the paths are appended to ("http://host:port");
    // `rootCertificate`: what an https tools address must chain to.
    explicit HttpRelayWebQueries(QString toolsAddress, QString rootCertificate = {}, QObject* parent = nullptr);

    void PublicAddress(std::function<void(QString)> done) override;
    void Country(const QString& publicIp, std::function<void(QString)> done) override;
    void ProbeRelay(const QString& publicIp, int port) override;

    static constexpr long AddressTimeoutSeconds = 80;
    static constexpr long ProbeTimeoutSeconds = 10;

private:
    // GET base + `pathAndQuery`; the body, or nothing on an error, a time-out
    // or a body longer than `maxBody` bytes.
    void Get(const QString& pathAndQuery, long timeoutSeconds, qint64 maxBody,
             std::function<void(std::optional<QByteArray>)> done);

    QString FBase;
    QString FRootCertificate;
};

}  // namespace corvala
