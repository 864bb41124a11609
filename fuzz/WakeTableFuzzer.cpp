// "mc.dt", the Wake-on-LAN table, as the main window loads it at start.
//
// Properties: what was loaded is written and loads again unchanged (the
// close writes it back); the records are the ones the record holds, in
// order; a MAC text of any form makes a packet of 102 bytes.
#include "FuzzSupport.h"
#include "features/WakeOnLan.h"
#include "settings/DtScramble.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    static const std::filesystem::path scratch = fuzz::ScratchFolder("mc");
    const QString path = QString::fromStdString((scratch / "mc.dt").string());
    const QByteArray plain(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(path);
        const QByteArray sealed = dtSeal(plain);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(sealed) != sealed.size())
            fuzz::Fail("cannot write the scratch file");
    }
    WakeTable table;
    table.Load(path);
    WakeTable direct;
    direct.ReadRecord(plain);
    if (direct.Records != table.Records) fuzz::Fail("the file and its record read differently");
    if (!table.Save(path)) fuzz::Fail("a loaded table cannot be saved");
    WakeTable again;
    again.Load(path);
    if (again.Records != table.Records) fuzz::Fail("a table changes when saved and loaded again");
    for (const TMacAndIPInfo& r : table.Records)
        if (MagicPacket(ParseMacAddress(r.MacAddress)).size() != MagicPacketBytes) fuzz::Fail("a packet not of 102 bytes");
    return 0;
}
