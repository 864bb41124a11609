// Wake-on-LAN: the magic packet as it arrives on a UDP socket, the MAC
// texts it is made from, and the table of learnt MAC addresses ("mc.dt").
#include "features/WakeOnLan.h"

#include "settings/DtRecord.h"
#include "settings/DtScramble.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>

namespace corvala {
namespace {

QByteArray ExpectedPacket(const QByteArray& mac) {
    QByteArray packet(6, char(0xFF));
    for (int i = 0; i < 16; ++i) packet += mac;
    return packet;
}

// A sender that keeps what it was given.
class RecordingSender final : public IDatagramSender {
public:
    std::optional<QString> SendDatagram(const QByteArray& datagram, const QString& host, quint16 port) override {
        sent.append({datagram, host, port});
        return std::nullopt;
    }
    struct Sent {
        QByteArray datagram;
        QString host;
        quint16 port;
    };
    QList<Sent> sent;
};

class WakeOnLanTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString TablePath() const { return folder.filePath("mc.dt"); }
    QTemporaryDir folder;
};

// The real sender to a socket on loopback: exactly one datagram of 102
// bytes, six 0xFF and the MAC sixteen times.
TEST_F(WakeOnLanTest, TheMagicPacketArrivesAsOneDatagram) {
    struct Case {
        const char* mac;
        QByteArray bytes;
    } cases[] = {
        {"00-1A-2B-3C-4D-5E", QByteArray::fromHex("001A2B3C4D5E")},
        {"00:1a:2b:3c:4d:5e", QByteArray::fromHex("001A2B3C4D5E")},
        {" FF.ee/01 23 45|67 ", QByteArray::fromHex("FFEE01234567")},
        {"001A2B3C4D5E", QByteArray(6, '\0')},
        {"0G-1A-2B-3C-4D-5Z", QByteArray::fromHex("001A2B3C4D00")},
    };
    QUdpSocket receiver;
    ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
    const QString port = QString::number(receiver.localPort());
    TUdpBroadcastSender sender;
    WakeTable table;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mac);
        const auto error =
            WakeUp(table, TablePath(), "123456789", "127.0.0.1", port, QString::fromLatin1(c.mac), sender);
        ASSERT_FALSE(error.has_value()) << error->toStdString();
        ASSERT_TRUE(receiver.waitForReadyRead(5000));
        const QNetworkDatagram datagram = receiver.receiveDatagram();
        EXPECT_EQ(datagram.data().size(), MagicPacketBytes);
        EXPECT_EQ(datagram.data().toHex(), ExpectedPacket(c.bytes).toHex());
        EXPECT_FALSE(receiver.hasPendingDatagrams()) << "more than one datagram";
    }
}

TEST_F(WakeOnLanTest, WakeUpStoresWhatTheWindowHoldsAndReportsBadPorts) {
    WakeTable table;
    table.Learn("123456789", "00-1A-2B-3C-4D-5E");
    table.Records.append({"123456789", "11-11-11-11-11-11", "10.0.0.9", "9"});  // the same ID twice
    RecordingSender sender;

    struct Case {
        const char* port;
        std::optional<quint16> sentTo;  // nothing: refused with a message
    } cases[] = {{"7", 7}, {" 9 ", 9}, {"65535", 65535}, {"65536", std::nullopt}, {"seven", std::nullopt},
                 {"-1", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        sender.sent.clear();
        const auto error = WakeUp(table, TablePath(), "123456789", "192.0.2.7 ", QString::fromLatin1(c.port),
                                  "AA-BB-CC-DD-EE-FF", sender);
        EXPECT_EQ(error.has_value(), !c.sentTo);
        ASSERT_EQ(sender.sent.size(), c.sentTo ? 1 : 0);
        if (c.sentTo) {
            EXPECT_EQ(sender.sent[0].port, *c.sentTo);
            EXPECT_EQ(sender.sent[0].host, "192.0.2.7");
        }
        // The last record of the ID takes the edits untrimmed, whether or
        // not the packet went; the first stays as learnt; the file holds it.
        const TMacAndIPInfo stored{"123456789", "AA-BB-CC-DD-EE-FF", "192.0.2.7 ", QString::fromLatin1(c.port)};
        ASSERT_EQ(table.Records.size(), 2);
        EXPECT_EQ(table.Records[1], stored);
        EXPECT_EQ(table.Records[0].MacAddress, "00-1A-2B-3C-4D-5E");
        WakeTable reread;
        reread.Load(TablePath());
        EXPECT_EQ(reread.Records, table.Records);
    }
    const WakeFields shown = DataToControls(table, "Office (123456789)");
    EXPECT_EQ(shown.RemoteID, "123456789");
    EXPECT_EQ(shown.Title, "Wake up Office (123456789)");
    EXPECT_EQ(shown.MacAddress, "AA-BB-CC-DD-EE-FF") << "with two records of one ID the last one shows";
}

TEST_F(WakeOnLanTest, HostsAreLearntOnceWithTheDefaults) {
    WakeTable table;
    table.Learn("111222333", "00-1A-2B-3C-4D-5E");
    table.Learn("111222333", "66-66-66-66-66-66");  // a later connection reports another MAC
    table.Learn("444555666", "");                   // a host that sent none
    table.Learn(QString(WakeTable::MaxLearntText + 1, u'9'), "00-1A-2B-3C-4D-5E");
    table.Learn("777888999", QString(WakeTable::MaxLearntText + 1, u'A'));
    const QList<TMacAndIPInfo> expected{{"111222333", "00-1A-2B-3C-4D-5E", "255.255.255.255", "32767"}};
    EXPECT_EQ(table.Records, expected);

    // An ID never seen: the defaults, and nothing in the MAC edit.
    const WakeFields fresh = DataToControls(table, "999888777");
    EXPECT_EQ(fresh.Host, "255.255.255.255");
    EXPECT_EQ(fresh.Port, "32767");
    EXPECT_TRUE(fresh.MacAddress.isEmpty());

    for (int i = table.Records.size(); i < WakeTable::MaxRecords; ++i)
        table.Records.append({QString::number(i), "m", "h", "p"});
    table.Learn("123123123", "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(table.Records.size(), WakeTable::MaxRecords) << "a full table still grew";
}

TEST_F(WakeOnLanTest, TheTableFileReadsBackAndABrokenOneKeepsWhatCameBefore) {
    WakeTable table;
    table.Records = {{"111222333", "00-1A-2B-3C-4D-5E", "255.255.255.255", "32767"},
                     {"444555666", "", "büro.example", "9"},
                     {"", "", "", ""}};
    ASSERT_TRUE(table.Save(TablePath()));
    WakeTable reread;
    reread.Load(TablePath());
    EXPECT_EQ(reread.Records, table.Records);

    const QByteArray record = table.Record();
    struct Case {
        const char* name;
        QByteArray plain;
        int kept;
    } cases[] = {
        {"cut in the second record", record.left(record.size() - 20), 1},
        {"cut after the count", record.left(8), 0},
        {"empty", {}, 0},
        {"count beyond the data", [] {
             DtWriter w;
             w.writeInt32(1);
             w.writeInt32(0x7FFFFFFF);
             return w.data();
         }(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(TablePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(dtSeal(c.plain));
        file.close();
        WakeTable broken;
        broken.Records = {{"stale", "", "", ""}};
        broken.Load(TablePath());
        EXPECT_EQ(broken.Records, table.Records.mid(0, c.kept));
    }
    QFile::remove(TablePath());
    WakeTable missing;
    missing.Records = {{"stale", "", "", ""}};
    missing.Load(TablePath());
    EXPECT_TRUE(missing.Records.isEmpty());
}

}  // namespace
}  // namespace corvala
