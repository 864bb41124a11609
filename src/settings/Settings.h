#pragma once
// The persistent settings of the program and their file "set.dt".
//
// The file is a versioned record written field after field, then sealed with
// the ".dt" byte stream (DtScramble.h). It carries the fingerprint of the
// machine that wrote it; a file from another machine is refused whole so that
// two machines never share one DeviceId.
//
// Layout of the record (version 7 is written; 1 to 7 are read):
//   version int32 | DeviceId | MachineFingerprint (v>=5) | AllowOnlyViewing
//   | obsolete byte (v<=4) | RandomPasswordMode | HostPassword | DisplayName
//   | RecentConnections | WhiteListEnabled | WhiteList as comma text
//   | MasterModeWindowRect | Maximized | reserved 8+4+2 bytes (v>=6)
//   | LanguageCode | RelayPort int32 (v>=2) | RelayUserName (v>=2)
//   | RelayPassword (v>=2)
// Bytes after the last field are ignored.

#include <array>
#include <cstdint>

#include <QSize>
#include <QString>
#include <QStringList>

#include "settings/DtRecord.h"

namespace corvala {

// What the settings need to know about the machine they run on; filled by
// start-up, by hand in tests.
struct SettingsEnvironment {
    QString FilePath;            // ProgramFolder + "/set.dt"
    QString MachineFingerprint;  // of this machine, written and compared
    QSize PrimaryScreenSize;     // for the default viewer-mode window
    QString SystemLanguageCode;  // default LanguageCode
    QString ComputerName;        // default DisplayName; "PC" when empty
};

class Settings {
public:
    static constexpr std::int32_t SettingsFormatVersion = 7;
    static constexpr int ReservedSize = 8 + 4 + 2;

    explicit Settings(SettingsEnvironment env);

    // The defaults of a first run; the constructor applies them.
    void applyDefaults();

    // Reads "set.dt". True when a complete record was read and accepted.
    // False for a missing file, a file from another machine (DeviceId then
    // already holds the stored value) or a record that is unreadable; fields
    // read before the failure keep the values read.
    bool read();

    // Writes every field as version 7. False when the file cannot be
    // written; the values in memory never change.
    bool write() const;

    // The plaintext record of version 7, before sealing.
    QByteArray record() const;

    const SettingsEnvironment& environment() const { return FEnv; }

    QString DeviceId;
    bool AllowOnlyViewing = false;
    bool RandomPasswordMode = true;
    QString HostPassword;
    QString DisplayName;
    QString RecentConnections;  // comma-separated connection entries
    bool WhiteListEnabled = false;
    QStringList WhiteList;
    WindowRect MasterModeWindowRect;
    bool Maximized = false;
    QString LanguageCode;
    std::int32_t RelayPort = 0;
    QString RelayUserName;
    QString RelayPassword;

private:
    bool readRecord(const QByteArray& plain);

    SettingsEnvironment FEnv;
    // Written back as last read: a newer program may have meant something by
    // them.
    std::array<std::uint8_t, ReservedSize> FReserved{};
};

// The default viewer-mode window: the middle half of the screen, each edge
// rounded half to even.
WindowRect defaultMasterModeWindowRect(QSize screen);

}  // namespace corvala
