#pragma once
// Wake-on-LAN: the table of the hosts' MAC addresses ("mc.dt"), learnt from
// every host this viewer connects to, and the magic packet that wakes one.
// The window (dialogs/FormWake) shows a record and forwards "Wake Up!"; the
// datagram leaves through IDatagramSender, so that a test receives it on
// loopback.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace corvala {

struct TMacAndIPInfo {
    QString ID;
    QString MacAddress;  // as typed or received: normally six hexadecimal pairs with separators
    QString Host;        // where the packet goes
    QString Port;        // decimal text
    friend bool operator==(const TMacAndIPInfo&, const TMacAndIPInfo&) = default;
};

inline constexpr char WakeDefaultHost[] = "255.255.255.255";
inline constexpr char WakeDefaultPort[] = "32767";
inline constexpr int MagicPacketBytes = 102;

// Sends one UDP datagram over IPv4, broadcasting allowed. The error's own
// message when it could not (a host that does not resolve, a socket error).
class IDatagramSender {
public:
    virtual std::optional<QString> SendDatagram(const QByteArray& datagram, const QString& host, quint16 port) = 0;

protected:
    ~IDatagramSender() = default;
};

// The sender over a real UDP socket.
class TUdpBroadcastSender final : public IDatagramSender {
public:
    std::optional<QString> SendDatagram(const QByteArray& datagram, const QString& host, quint16 port) override;
};

using MacBytes = std::array<std::uint8_t, 6>;

// The MAC of a text: trimmed, exactly 17 characters, byte i from the two
// characters at 3i and 3i+1 (a pair that is not hexadecimal gives 0; the
// separators may be anything). Any other length gives six zero bytes.
MacBytes ParseMacAddress(const QString& text);
// Six 0xFF bytes, then the MAC sixteen times.
QByteArray MagicPacket(const MacBytes& mac);

class WakeTable {
public:
    // Beyond this many records, MACs reported by hosts are no longer learnt:
    // a flood of made-up IDs must not grow the file without end.
    static constexpr int MaxRecords = 10000;
    // Texts a host reports longer than this are not learnt.
    static constexpr int MaxLearntText = 64;

    // Replaces the records with the file's; a missing file leaves none, a
    // broken one what was read before the break.
    void Load(const QString& path);
    // The whole table over the file, replaced only once written whole;
    // false on any error.
    bool Save(const QString& path) const;

    // The plaintext record (version 1) and back; Read keeps what it read
    // before a break, and says whether it reached the end.
    QByteArray Record() const;
    bool ReadRecord(const QByteArray& plain);

    // A host's MAC when the viewer connects: a record for an ID seen for the
    // first time; an existing record never changes here.
    void Learn(const QString& id, const QString& macAddress);
    // The last record of the ID (the one the window shows and updates).
    TMacAndIPInfo* Last(const QString& id);
    TMacAndIPInfo& LastOrAppended(const QString& id);

    QList<TMacAndIPInfo> Records;
};

// What the window shows for the text it was opened with.
struct WakeFields {
    QString RemoteID;
    QString Title;  // "Wake up %s" with the whole text
    QString Host, Port, MacAddress;
};
WakeFields DataToControls(const WakeTable& table, const QString& text);

// "Wake Up!": the record of `remoteId` takes the fields as typed and the
// table is saved to `tablePath`; then the packet goes out. The error's own
// message when it could not be sent (a port that is not a number among
// them).
std::optional<QString> WakeUp(WakeTable& table, const QString& tablePath, const QString& remoteId,
                              const QString& host, const QString& port, const QString& macAddress,
                              IDatagramSender& sender);

}  // namespace corvala
