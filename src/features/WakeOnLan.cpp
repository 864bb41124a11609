#include "features/WakeOnLan.h"

#include "base/Log.h"
#include "i18n/Translator.h"
#include "session/ConnectionEntries.h"
#include "settings/DtRecord.h"
#include "settings/DtScramble.h"

#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QSaveFile>
#include <QUdpSocket>

namespace corvala {

namespace {

// Larger files are not read: ten thousand records stay far below this.
constexpr qint64 MaxTableFileBytes = 8 * 1024 * 1024;
// Four strings, each at least its count.
constexpr qsizetype MinRecordBytes = 4 * 4;

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

}  // namespace

MacBytes ParseMacAddress(const QString& text) {
    MacBytes mac{};
    const QString t = text.trimmed();
    if (t.size() != 17) return mac;
    for (int i = 0; i < 6; ++i) {
        const int high = HexValue(t[3 * i]), low = HexValue(t[3 * i + 1]);
        mac[i] = high < 0 || low < 0 ? 0 : std::uint8_t(high * 16 + low);
    }
    return mac;
}

QByteArray MagicPacket(const MacBytes& mac) {
    QByteArray packet(6, char(0xFF));
    packet.reserve(MagicPacketBytes);
    for (int i = 0; i < 16; ++i) packet.append(reinterpret_cast<const char*>(mac.data()), qsizetype(mac.size()));
    return packet;
}

std::optional<QString> TUdpBroadcastSender::SendDatagram(const QByteArray& datagram, const QString& host,
                                                         quint16 port) {
    QHostAddress address;
    if (!address.setAddress(host) || address.protocol() != QAbstractSocket::IPv4Protocol) {
        const QHostInfo info = QHostInfo::fromName(host);
        address = QHostAddress();
        for (const QHostAddress& a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                address = a;
                break;
            }
        if (address.isNull())
            return info.error() != QHostInfo::NoError ? info.errorString()
                                                      : QStringLiteral("no IPv4 address for %1").arg(host);
    }
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0)) return socket.errorString();
    // QUdpSocket sets SO_BROADCAST on its sockets, so the limited broadcast
    // address needs nothing more.
    if (socket.writeDatagram(datagram, address, port) != datagram.size()) return socket.errorString();
    return std::nullopt;
}

QByteArray WakeTable::Record() const {
    DtWriter out;
    out.writeInt32(1);
    out.writeInt32(std::int32_t(Records.size()));
    for (const TMacAndIPInfo& r : Records)
        for (const QString* field : {&r.ID, &r.MacAddress, &r.Host, &r.Port}) out.writeString(*field);
    return out.data();
}

bool WakeTable::ReadRecord(const QByteArray& plain) {
    Records.clear();
    DtReader in(plain);
    try {
        in.readInt32();  // the version changes nothing yet
        const std::int32_t count = in.readInt32();
        if (count < 0 || qsizetype(count) > in.remaining() / MinRecordBytes)
            throw DtReadError("impossible record count " + std::to_string(count));
        for (std::int32_t i = 0; i < count; ++i) {
            TMacAndIPInfo r;
            r.ID = in.readString();
            r.MacAddress = in.readString();
            r.Host = in.readString();
            r.Port = in.readString();
            Records.append(std::move(r));
        }
    } catch (const DtReadError& e) {
        qCWarning(lcFeatures) << "the Wake-on-LAN table breaks after" << Records.size() << "records:" << e.what();
        return false;
    }
    return true;
}

void WakeTable::Load(const QString& path) {
    Records.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    if (file.size() > MaxTableFileBytes) {
        qCWarning(lcFeatures) << "the Wake-on-LAN table" << path << "is larger than" << MaxTableFileBytes
                              << "bytes; not read";
        return;
    }
    ReadRecord(dtUnseal(file.read(MaxTableFileBytes)));
}

bool WakeTable::Save(const QString& path) const {
    QSaveFile file(path);
    const QByteArray bytes = dtSeal(Record());
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

void WakeTable::Learn(const QString& id, const QString& macAddress) {
    if (macAddress.isEmpty() || Last(id)) return;
    if (id.size() > MaxLearntText || macAddress.size() > MaxLearntText) {
        qCWarning(lcFeatures) << "not learnt: the MAC text of" << id.left(MaxLearntText) << "is"
                              << macAddress.size() << "characters long";
        return;
    }
    if (Records.size() >= MaxRecords) {
        qCWarning(lcFeatures) << "not learnt: the Wake-on-LAN table already holds" << Records.size()
                              << "records; MAC of" << id << "dropped";
        return;
    }
    Records.append({id, macAddress, QString::fromLatin1(WakeDefaultHost), QString::fromLatin1(WakeDefaultPort)});
}

TMacAndIPInfo* WakeTable::Last(const QString& id) {
    for (qsizetype i = Records.size(); i-- > 0;)
        if (Records[i].ID == id) return &Records[i];
    return nullptr;
}

TMacAndIPInfo& WakeTable::LastOrAppended(const QString& id) {
    if (TMacAndIPInfo* record = Last(id)) return *record;
    Records.append(TMacAndIPInfo{});
    return Records.last();
}

WakeFields DataToControls(const WakeTable& table, const QString& text) {
    WakeFields f;
    f.RemoteID = ExtractId(text);
    f.Title = FormatText(translate(QStringLiteral("Wake up %s")), {text});
    for (const TMacAndIPInfo& r : table.Records)
        if (r.ID == f.RemoteID) {
            f.Host = r.Host;
            f.Port = r.Port;
            f.MacAddress = r.MacAddress;
        }
    if (f.Host.isEmpty()) f.Host = QString::fromLatin1(WakeDefaultHost);
    if (f.Port.isEmpty()) f.Port = QString::fromLatin1(WakeDefaultPort);
    return f;
}

std::optional<QString> WakeUp(WakeTable& table, const QString& tablePath, const QString& remoteId,
                              const QString& host, const QString& port, const QString& macAddress,
                              IDatagramSender& sender) {
    TMacAndIPInfo& record = table.LastOrAppended(remoteId);
    record = {remoteId, macAddress, host, port};
    if (!table.Save(tablePath)) qCWarning(lcFeatures) << "could not write the Wake-on-LAN table" << tablePath;
    bool ok = false;
    const uint portNumber = port.trimmed().toUInt(&ok, 10);
    if (!ok || portNumber > 65535) return QStringLiteral("\"%1\" is not a valid port number").arg(port);
    return sender.SendDatagram(MagicPacket(ParseMacAddress(macAddress)), host.trimmed(), quint16(portNumber));
}

}  // namespace corvala
