// The relay setup's questions to the web service over HTTP, against a small
// server of the test's own on loopback that answers each path as the case
// says: what is taken from an answer, what is refused, how far redirects
// are followed, and what the requests look like.
#include "relay/RelayWebQueries.h"

#include "CoreTestApplication.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>

namespace corvala {
namespace {

QByteArray Answer(const QByteArray& body, const QByteArray& status = "200 OK", const QByteArray& extra = {}) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n" + extra + "\r\n" + body;
}

// Answers every request with what `respond` makes of its target; writes
// down each request's head.
class TinyHttpServer {
public:
    explicit TinyHttpServer(std::function<QByteArray(const QByteArray& target)> respond) : FRespond(std::move(respond)) {
        EXPECT_TRUE(FServer.listen(QHostAddress::LocalHost));
        QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = FServer.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    FPending[socket] += socket->readAll();
                    if (!FPending[socket].contains("\r\n\r\n")) return;
                    const QByteArray head = FPending.take(socket);
                    heads << head;
                    const QByteArray target = head.split(' ').value(1);
                    const QByteArray answer = FRespond(target);
                    if (answer.isEmpty()) {
                        socket->abort();
                    } else {
                        socket->write(answer);
                        socket->disconnectFromHost();
                    }
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(FServer.serverPort()); }

    QList<QByteArray> heads;

private:
    std::function<QByteArray(const QByteArray&)> FRespond;
    QTcpServer FServer;
    QHash<QTcpSocket*, QByteArray> FPending;
};

template <typename Ask>
QString Await(Ask ask) {
    std::optional<QString> result;
    ask([&](const QString& answer) { result = answer; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000)) << "no answer";
    return result.value_or("(none)");
}

TEST(RelayWebQueries, AnswersAreTakenOnlyWithinTheirBounds) {
    const struct {
        const char* name;
        QByteArray response;  // empty: the connection is cut
        QString address, country;
    } cases[] = {
        {"plain answers, line end trimmed", Answer("DE\n"), "DE", "DE"},
        {"an address", Answer("203.0.113.7\r\n"), "203.0.113.7", "XX"},
        {"three letters are no country", Answer("DEU"), "DEU", "XX"},
        {"an empty body", Answer(""), "", ""},
        {"a body beyond the bound", Answer(QByteArray(65, '1')), "", "XX"},
        {"an error status", Answer("203.0.113.7", "404 Not Found"), "", "XX"},
        {"the connection cut", {}, "", "XX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TinyHttpServer server([&](const QByteArray&) { return c.response; });
        HttpRelayWebQueries queries(server.Base() + '/');
        EXPECT_EQ(Await([&](auto done) { queries.PublicAddress(done); }), c.address);
        EXPECT_EQ(Await([&](auto done) { queries.Country("203.0.113.7", done); }), c.country);
    }
}

TEST(RelayWebQueries, RequestsCarryTheirPathsAndTheUserAgent) {
    TinyHttpServer server([](const QByteArray&) { return Answer("sent"); });
    HttpRelayWebQueries queries(server.Base());
    Await([&](auto done) { queries.PublicAddress(done); });
    Await([&](auto done) { queries.Country("203.0.113.7", done); });
    queries.ProbeRelay("203.0.113.7", 5555);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.heads.size() == 3; }, 20000));
    const QStringList targets = {"/ip-check.php", "/country-check.php?ip=203.0.113.7",
                                 "/turn-check.php?server_ip=203.0.113.7&server_port=5555"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(targets[i].toStdString());
        EXPECT_TRUE(server.heads[i].startsWith("GET " + targets[i].toLatin1() + " HTTP/1.1\r\n"))
            << server.heads[i].toStdString();
        EXPECT_TRUE(server.heads[i].contains("\r\nUser-Agent: Mozilla/4.0 (compatible; MyApp)\r\n"));
    }
}

TEST(RelayWebQueries, RedirectsAreFollowedTenTimesAtMost) {
    // "/rN/...": N more redirects before the answer.
    TinyHttpServer server([](const QByteArray& target) {
        const QRegularExpressionMatch m = QRegularExpression("^/r(\\d+)(/.*)$").match(QString::fromLatin1(target));
        if (!m.hasMatch()) return QByteArray();
        const int left = m.captured(1).toInt();
        if (left == 0) return Answer("198.51.100.4");
        const QByteArray next = "/r" + QByteArray::number(left - 1) + m.captured(2).toLatin1();
        return Answer("", "302 Found", "Location: " + next + "\r\n");
    });
    const struct {
        int redirects;
        QString address;
    } cases[] = {{0, "198.51.100.4"}, {10, "198.51.100.4"}, {11, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.redirects);
        HttpRelayWebQueries queries(server.Base() + "/r" + QString::number(c.redirects));
        EXPECT_EQ(Await([&](auto done) { queries.PublicAddress(done); }), c.address);
    }
}

TEST(RelayWebQueries, NoUsableToolsAddressAsksNothing) {
    for (const QString base : {QString(), QStringLiteral("ftp://127.0.0.1:1"), QStringLiteral("not an address")}) {
        SCOPED_TRACE(base.toStdString());
        HttpRelayWebQueries queries(base);
        EXPECT_EQ(Await([&](auto done) { queries.PublicAddress(done); }), "");
        EXPECT_EQ(Await([&](auto done) { queries.Country("203.0.113.7", done); }), "XX");
    }
}

}  // namespace
}  // namespace corvala
