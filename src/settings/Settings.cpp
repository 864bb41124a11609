#include "settings/Settings.h"

#include <cmath>

#include <QFile>
#include <QSaveFile>

#include "settings/DtScramble.h"

namespace corvala {

WindowRect defaultMasterModeWindowRect(QSize screen) {
    const double w = screen.width();
    const double h = screen.height();
    // nearbyint rounds half to even in the default rounding mode.
    auto r = [](double v) { return static_cast<std::int32_t>(std::nearbyint(v)); };
    return {r(w / 4), r(h / 4), r(w - w / 4), r(h - h / 4)};
}

Settings::Settings(SettingsEnvironment env) : FEnv(std::move(env)) { applyDefaults(); }

void Settings::applyDefaults() {
    DeviceId.clear();
    AllowOnlyViewing = false;
    RandomPasswordMode = true;
    HostPassword.clear();
    DisplayName = FEnv.ComputerName.isEmpty() ? QStringLiteral("PC") : FEnv.ComputerName;
    RecentConnections.clear();
    WhiteListEnabled = false;
    WhiteList.clear();
    MasterModeWindowRect = defaultMasterModeWindowRect(FEnv.PrimaryScreenSize);
    Maximized = false;
    LanguageCode = FEnv.SystemLanguageCode;
    RelayPort = 0;
    RelayUserName.clear();
    RelayPassword.clear();
    FReserved.fill(0);
}

QByteArray Settings::record() const {
    DtWriter w;
    w.writeInt32(SettingsFormatVersion);
    w.writeString(DeviceId);
    w.writeString(FEnv.MachineFingerprint);
    w.writeFlag(AllowOnlyViewing);
    w.writeFlag(RandomPasswordMode);
    w.writeString(HostPassword);
    w.writeString(DisplayName);
    w.writeString(RecentConnections);
    w.writeFlag(WhiteListEnabled);
    w.writeString(joinCommaText(WhiteList));
    w.writeRect(MasterModeWindowRect);
    w.writeFlag(Maximized);
    w.writeBytes(QByteArray(reinterpret_cast<const char*>(FReserved.data()), ReservedSize));
    w.writeString(LanguageCode);
    w.writeInt32(RelayPort);
    w.writeString(RelayUserName);
    w.writeString(RelayPassword);
    return w.data();
}

bool Settings::write() const {
    QSaveFile file(FEnv.FilePath);
    // Where the folder allows no new file but the file itself is writable,
    // write it in place rather than fail.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray sealed = dtSeal(record());
    if (file.write(sealed) != sealed.size())
        return false;
    return file.commit();
}

bool Settings::read() {
    QFile file(FEnv.FilePath);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray sealed = file.readAll();
    file.close();
    return readRecord(dtUnseal(sealed));
}

bool Settings::readRecord(const QByteArray& plain) {
    try {
        DtReader r(plain);
        const std::int32_t v = r.readInt32();
        // Versions outside the known range are garbage (or a format this
        // program cannot know); both are treated as unreadable.
        if (v < 1 || v > SettingsFormatVersion)
            return false;
        DeviceId = r.readString();
        if (v >= 5) {
            const QString stored = r.readString();
            if (!stored.isEmpty() && stored != FEnv.MachineFingerprint)
                return false;
        }
        AllowOnlyViewing = r.readFlag();
        if (v <= 4)
            r.readBytes(1);
        RandomPasswordMode = r.readFlag();
        HostPassword = r.readString();
        DisplayName = r.readString();
        RecentConnections = r.readString();
        WhiteListEnabled = r.readFlag();
        WhiteList = splitCommaText(r.readString());
        MasterModeWindowRect = r.readRect();
        Maximized = r.readFlag();
        if (v >= 6) {
            const QByteArray reserved = r.readBytes(ReservedSize);
            std::copy(reserved.begin(), reserved.end(), FReserved.begin());
        }
        LanguageCode = r.readString();
        if (v >= 2) {
            RelayPort = r.readInt32();
            RelayUserName = r.readString();
            RelayPassword = r.readString();
        }
        return true;
    } catch (const DtReadError&) {
        return false;
    }
}

}  // namespace corvala
