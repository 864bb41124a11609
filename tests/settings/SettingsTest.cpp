#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "settings/DtScramble.h"

namespace corvala {
namespace {

constexpr char kThisMachine[] = "FP-THIS-MACHINE";

class SettingsFile : public ::testing::Test {
protected:
    SettingsEnvironment env() const {
        return {dir.filePath("set.dt"), kThisMachine, QSize(1366, 768), "de", "workstation"};
    }
    void writeSealed(const QByteArray& plain) {
        QFile f(dir.filePath("set.dt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(dtSeal(plain));
    }
    QByteArray fileBytes() {
        QFile f(dir.filePath("set.dt"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    void writeFileBytes(const QByteArray& bytes) {
        QFile f(dir.filePath("set.dt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    // A version 1-7 record laid out field by field, with recognisable values.
    static QByteArray handMade(int version, const QString& fingerprint = kThisMachine) {
        DtWriter w;
        w.writeInt32(version);
        w.writeString("123456789");
        if (version >= 5)
            w.writeString(fingerprint);
        w.writeFlag(true);             // AllowOnlyViewing
        if (version <= 4)
            w.writeBytes(QByteArray(1, char(1)));  // obsolete byte
        w.writeFlag(false);            // RandomPasswordMode
        w.writeString("static1");
        w.writeString("Anna");
        w.writeString("\"Bob (222333444)\",555666777");
        w.writeFlag(true);
        w.writeString("111,222 333");
        w.writeRect({10, 20, 30, 40});
        w.writeFlag(true);             // Maximized
        if (version >= 6)
            w.writeBytes(QByteArray::fromHex("0102030405060708" "090a0b0c" "0d0e"));
        w.writeString("fr");
        if (version >= 2) {
            w.writeInt32(3479);
            w.writeString("relayuser");
            w.writeString("relaypass");
        }
        return w.data();
    }
    QTemporaryDir dir;
};

void expectHandMadeFields(const Settings& s) {
    EXPECT_EQ(s.DeviceId, "123456789");
    EXPECT_TRUE(s.AllowOnlyViewing);
    EXPECT_FALSE(s.RandomPasswordMode);
    EXPECT_EQ(s.HostPassword, "static1");
    EXPECT_EQ(s.DisplayName, "Anna");
    EXPECT_EQ(s.RecentConnections, "\"Bob (222333444)\",555666777");
    EXPECT_TRUE(s.WhiteListEnabled);
    EXPECT_EQ(s.WhiteList, QStringList({"111", "222", "333"}));
    EXPECT_EQ(s.MasterModeWindowRect, (WindowRect{10, 20, 30, 40}));
    EXPECT_TRUE(s.Maximized);
    EXPECT_EQ(s.LanguageCode, "fr");
}

TEST_F(SettingsFile, DefaultsFollowTheMachine) {
    Settings s(env());
    EXPECT_EQ(s.DeviceId, "");
    EXPECT_FALSE(s.AllowOnlyViewing);
    EXPECT_TRUE(s.RandomPasswordMode);
    EXPECT_EQ(s.DisplayName, "workstation");
    EXPECT_EQ(s.LanguageCode, "de");
    // 1366/4 = 341.5 rounds to the even 342; 1366 - 341.5 = 1024.5 to 1024.
    EXPECT_EQ(s.MasterModeWindowRect, (WindowRect{342, 192, 1024, 576}));
    EXPECT_EQ(s.RelayPort, 0);

    SettingsEnvironment unnamed = env();
    unnamed.ComputerName.clear();
    EXPECT_EQ(Settings(unnamed).DisplayName, "PC");
    EXPECT_EQ(defaultMasterModeWindowRect(QSize(1022, 766)), (WindowRect{256, 192, 766, 574}));  // 255.5 -> 256, 191.5 -> 192
}

TEST_F(SettingsFile, MissingFileKeepsDefaults) {
    Settings s(env());
    EXPECT_FALSE(s.read());
    EXPECT_EQ(s.DisplayName, "workstation");
    EXPECT_TRUE(s.RandomPasswordMode);
}

TEST_F(SettingsFile, RoundTripKeepsEveryField) {
    Settings out(env());
    out.DeviceId = "987654321";
    out.AllowOnlyViewing = true;
    out.RandomPasswordMode = false;
    out.HostPassword = "";
    out.DisplayName = QString::fromUtf8("Ψ Jörg's PC 日本");
    out.RecentConnections = "";
    out.WhiteListEnabled = true;
    out.WhiteList = {"111222333", "with space", "com,ma", ""};
    out.MasterModeWindowRect = {-1920, -5, -100, 700};
    out.Maximized = true;
    out.LanguageCode = "el";
    out.RelayPort = -1;
    out.RelayUserName = "";
    out.RelayPassword = "p\"w";
    ASSERT_TRUE(out.write());

    // Defaults differ from every written value, so each field must come from the file.
    SettingsEnvironment other = env();
    other.SystemLanguageCode = "en";
    Settings in(other);
    in.HostPassword = "before";
    in.RecentConnections = "before";
    in.RelayUserName = "before";
    ASSERT_TRUE(in.read());
    EXPECT_EQ(in.DeviceId, out.DeviceId);
    EXPECT_EQ(in.AllowOnlyViewing, out.AllowOnlyViewing);
    EXPECT_EQ(in.RandomPasswordMode, out.RandomPasswordMode);
    EXPECT_EQ(in.HostPassword, out.HostPassword);
    EXPECT_EQ(in.DisplayName, out.DisplayName);
    EXPECT_EQ(in.RecentConnections, out.RecentConnections);
    EXPECT_EQ(in.WhiteListEnabled, out.WhiteListEnabled);
    EXPECT_EQ(in.WhiteList, out.WhiteList);
    EXPECT_EQ(in.MasterModeWindowRect, out.MasterModeWindowRect);
    EXPECT_EQ(in.Maximized, out.Maximized);
    EXPECT_EQ(in.LanguageCode, out.LanguageCode);
    EXPECT_EQ(in.RelayPort, out.RelayPort);
    EXPECT_EQ(in.RelayUserName, out.RelayUserName);
    EXPECT_EQ(in.RelayPassword, out.RelayPassword);
    EXPECT_EQ(in.record(), out.record());
}

TEST_F(SettingsFile, FileIsSealedVersion7WithTheFingerprint) {
    Settings s(env());
    s.DeviceId = "123";
    ASSERT_TRUE(s.write());
    const QByteArray bytes = fileBytes();
    EXPECT_EQ(bytes.indexOf("123"), -1);
    const QByteArray plain = dtUnseal(bytes);
    EXPECT_EQ(plain, s.record());
    DtReader r(plain);
    EXPECT_EQ(r.readInt32(), 7);
    EXPECT_EQ(r.readString(), "123");
    EXPECT_EQ(r.readString(), kThisMachine);
}

TEST_F(SettingsFile, ReadsEveryVersionWithItsFields) {
    for (int v = 1; v <= 7; ++v) {
        SCOPED_TRACE(v);
        writeSealed(handMade(v));
        Settings s(env());
        s.RelayPort = 42;
        s.RelayUserName = "keep";
        ASSERT_TRUE(s.read());
        expectHandMadeFields(s);
        if (v >= 2) {
            EXPECT_EQ(s.RelayPort, 3479);
            EXPECT_EQ(s.RelayUserName, "relayuser");
            EXPECT_EQ(s.RelayPassword, "relaypass");
        } else {
            EXPECT_EQ(s.RelayPort, 42);
            EXPECT_EQ(s.RelayUserName, "keep");
        }
    }
}

// Older files spelled out byte by byte, independent of the writer.
TEST_F(SettingsFile, ReadsOldFilesLaidOutByHand) {
    const QByteArray v4 = QByteArray::fromHex(
        "04000000"                      // version 4
        "02000000" "3100" "3200"        // DeviceId "12"
        "01"                            // AllowOnlyViewing
        "07"                            // obsolete byte
        "00"                            // RandomPasswordMode
        "00000000"                      // HostPassword ""
        "02000000" "5a00" "e900"        // DisplayName "Zé"
        "00000000"                      // RecentConnections ""
        "01"                            // WhiteListEnabled
        "03000000" "3700" "2c00" "3800" // WhiteList "7,8"
        "ffffffff" "00000000" "64000000" "32000000"  // rect -1, 0, 100, 50
        "00"                            // Maximized
        "02000000" "7400" "7200"        // LanguageCode "tr"
        "960d0000"                      // RelayPort 3478
        "01000000" "7500"               // RelayUserName "u"
        "00000000");                    // RelayPassword ""
    writeSealed(v4);
    Settings s(env());
    ASSERT_TRUE(s.read());
    EXPECT_EQ(s.DeviceId, "12");
    EXPECT_TRUE(s.AllowOnlyViewing);
    EXPECT_FALSE(s.RandomPasswordMode);
    EXPECT_EQ(s.HostPassword, "");
    EXPECT_EQ(s.DisplayName, QString::fromUtf8("Zé"));
    EXPECT_EQ(s.RecentConnections, "");
    EXPECT_TRUE(s.WhiteListEnabled);
    EXPECT_EQ(s.WhiteList, QStringList({"7", "8"}));
    EXPECT_EQ(s.MasterModeWindowRect, (WindowRect{-1, 0, 100, 50}));
    EXPECT_FALSE(s.Maximized);
    EXPECT_EQ(s.LanguageCode, "tr");
    EXPECT_EQ(s.RelayPort, 3478);
    EXPECT_EQ(s.RelayUserName, "u");

    // Version 1: the same up to LanguageCode, no relay fields.
    QByteArray v1 = v4.left(v4.size() - 4 - 6 - 4);
    v1[0] = 1;
    writeSealed(v1);
    Settings t(env());
    t.RelayUserName = "kept";
    ASSERT_TRUE(t.read());
    EXPECT_EQ(t.LanguageCode, "tr");
    EXPECT_EQ(t.RelayPort, 0);
    EXPECT_EQ(t.RelayUserName, "kept");
}

TEST_F(SettingsFile, ReservedBlockIsWrittenBackAsRead) {
    writeSealed(handMade(6));
    Settings s(env());
    ASSERT_TRUE(s.read());
    const QByteArray rec = s.record();
    EXPECT_NE(rec.indexOf(QByteArray::fromHex("0102030405060708090a0b0c0d0e")), -1);

    Settings fresh(env());
    EXPECT_EQ(fresh.record().indexOf(QByteArray::fromHex("0102030405060708090a0b0c0d0e")), -1);
}

TEST_F(SettingsFile, TrailingBytesAreIgnored) {
    writeSealed(handMade(7) + QByteArray("future fields"));
    Settings s(env());
    EXPECT_TRUE(s.read());
    expectHandMadeFields(s);
}

TEST_F(SettingsFile, AnotherMachinesFileIsRefused) {
    writeSealed(handMade(7, "FP-OTHER-MACHINE"));
    Settings s(env());
    EXPECT_FALSE(s.read());
    EXPECT_EQ(s.DeviceId, "123456789");  // the caller replaces it
    EXPECT_EQ(s.DisplayName, "workstation");
    EXPECT_TRUE(s.RandomPasswordMode);
    EXPECT_EQ(s.LanguageCode, "de");
}

TEST_F(SettingsFile, EmptyStoredFingerprintCountsAsThisMachine) {
    writeSealed(handMade(5, ""));
    Settings s(env());
    EXPECT_TRUE(s.read());
    expectHandMadeFields(s);
}

TEST_F(SettingsFile, UnknownVersionsAreRefused) {
    for (int v : {0, -1, 8, 0x7FFFFFFF}) {
        QByteArray rec = handMade(7);
        rec.replace(0, 4, QByteArray::fromRawData(reinterpret_cast<const char*>(&v), 4));
        writeSealed(rec);
        Settings s(env());
        EXPECT_FALSE(s.read()) << v;
        EXPECT_EQ(s.DeviceId, "") << v;
    }
}

TEST_F(SettingsFile, TruncatedFilesFailAndKeepWhatWasRead) {
    const QByteArray full = handMade(7);
    const QByteArray sealed = dtSeal(full);
    for (qsizetype len = 0; len < sealed.size(); ++len) {
        writeFileBytes(sealed.left(len));
        Settings s(env());
        EXPECT_FALSE(s.read()) << "length " << len;
    }
    // Cut inside HostPassword: the fields before it carry the stored values,
    // the ones after keep their defaults.
    const qsizetype cut = full.indexOf(QByteArray::fromHex("0700000073")) + 6;  // count 7, "s"
    writeFileBytes(sealed.left(cut));
    Settings s(env());
    EXPECT_FALSE(s.read());
    EXPECT_EQ(s.DeviceId, "123456789");
    EXPECT_TRUE(s.AllowOnlyViewing);
    EXPECT_FALSE(s.RandomPasswordMode);
    EXPECT_EQ(s.HostPassword, "");
    EXPECT_EQ(s.DisplayName, "workstation");
}

TEST_F(SettingsFile, FlippedBytesNeverCrash) {
    const QByteArray sealed = dtSeal(handMade(7));
    int refused = 0;
    for (qsizetype i = 0; i < sealed.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            QByteArray bad = sealed;
            bad[i] = char(bad[i] ^ mask);
            writeFileBytes(bad);
            Settings s(env());
            refused += !s.read();
        }
    }
    // Most single-byte flips garble a length or the version.
    EXPECT_GT(refused, sealed.size());
}

TEST_F(SettingsFile, FailedWriteReturnsFalseAndChangesNothing) {
    SettingsEnvironment missing = env();
    missing.FilePath = dir.filePath("no/such/folder/set.dt");
    Settings s(missing);
    s.DeviceId = "555";
    s.WhiteList = {"1", "2"};
    const QByteArray before = s.record();
    EXPECT_FALSE(s.write());
    EXPECT_EQ(s.record(), before);

    // The path is a folder.
    ASSERT_TRUE(QDir(dir.path()).mkdir("set.dt"));
    Settings t(env());
    EXPECT_FALSE(t.write());
    EXPECT_FALSE(t.read());
}

TEST_F(SettingsFile, WriteReplacesALongerOldFile) {
    Settings big(env());
    big.RecentConnections = QString(5000, 'x');
    ASSERT_TRUE(big.write());
    Settings small(env());
    small.DeviceId = "1";
    ASSERT_TRUE(small.write());
    EXPECT_EQ(fileBytes().size(), small.record().size());
}

}  // namespace
}  // namespace corvala
