// The texts a peer controls: the FILE header and received relative paths,
// each refused form with what it would have done; the sender's relative
// names; the progress line; the choosers' rules; the interface texts in all
// eleven languages.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <limits>

#include "i18n/Translator.h"
#include "transfer/ChooserRules.h"
#include "transfer/TransferProgress.h"
#include "transfer/TransferProtocol.h"

namespace corvala::transfer {
namespace {

const QString Digest = "0123456789ABCDEF0123456789ABCDEF";

TEST(FileHeader, ParsesSizesOfEveryRangeAndRefusesWhatDoesNotParse) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> size;  // nothing: refused
    };
    const Case cases[] = {
        {"FILE0:0123456789ABCDEF0123456789ABCDEF;a.txt", 0},
        {"FILE65537:0123456789ABCDEF0123456789ABCDEF;a.txt", 65537},
        {"FILE2147483648:0123456789ABCDEF0123456789ABCDEF;a.txt", 2147483648LL},  // 2 GiB
        {"FILE3221225472:0123456789ABCDEF0123456789ABCDEF;a.txt", 3221225472LL},  // 3 GiB
        {"FILE9223372036854775807:0123456789ABCDEF0123456789ABCDEF;a.txt", std::numeric_limits<std::int64_t>::max()},
        {"FILE007:0123456789ABCDEF0123456789ABCDEF;a.txt", 7},
        // Not read as zero: refused.
        {"FILE:0123456789ABCDEF0123456789ABCDEF;a.txt", std::nullopt},
        {"FILE-1:0123456789ABCDEF0123456789ABCDEF;a.txt", std::nullopt},
        {"FILE+5:0123456789ABCDEF0123456789ABCDEF;a.txt", std::nullopt},
        {"FILE1 2:0123456789ABCDEF0123456789ABCDEF;a.txt", std::nullopt},
        {"FILE12a:0123456789ABCDEF0123456789ABCDEF;a.txt", std::nullopt},
        {"FILE9223372036854775808:0123456789ABCDEF0123456789ABCDEF;a.txt", std::nullopt},
        {"FILE99999999999999999999:0123456789ABCDEF0123456789ABCDEF;a.txt", std::nullopt},
        // Digests: 32 upper-case hexadecimal digits only.
        {"FILE5:0123456789abcdef0123456789abcdef;a.txt", std::nullopt},
        {"FILE5:0123456789ABCDEF0123456789ABCDE;a.txt", std::nullopt},
        {"FILE5:0123456789ABCDEF0123456789ABCDEG;a.txt", std::nullopt},
        {"FILE5:;a.txt", std::nullopt},
        // Structure.
        {"FILE5", std::nullopt},
        {"FILE5:0123456789ABCDEF0123456789ABCDEF", std::nullopt},
        {"FILE5;0123456789ABCDEF0123456789ABCDEF:a.txt", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QString why;
        const auto header = ParseFileHeader(QString::fromLatin1(c.text), &why);
        ASSERT_EQ(header.has_value(), c.size.has_value()) << why.toStdString();
        if (!header) {
            EXPECT_FALSE(why.isEmpty());
            continue;
        }
        EXPECT_EQ(header->Size, *c.size);
        EXPECT_EQ(header->Digest, Digest);
        EXPECT_EQ(header->Path, QStringList{"a.txt"});
    }
}

TEST(FileHeader, WritesTheFullSizeAndBackslashesAndReadsItsOwnHeader) {
    const std::int64_t size = 3 * (std::int64_t(1) << 30) + 1;
    const QString text = MakeFileHeader(size, Digest, {"Fotos ñ", "2024", "a;b.jpg"});
    EXPECT_EQ(text, "FILE3221225473:" + Digest + ";Fotos ñ\\2024\\a;b.jpg");
    const auto header = ParseFileHeader(text);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->Size, size);
    EXPECT_EQ(header->Path, (QStringList{"Fotos ñ", "2024", "a;b.jpg"})) << "\";\" after the first stays in the name";
}

// Every form of a received path that could leave the destination, or that
// a Windows peer could not have meant.
TEST(RelativePath, AcceptsNestedNamesAndRefusesEveryWayOut) {
    struct Case {
        const char* wire;
        QStringList names;  // empty: refused
    };
    const Case cases[] = {
        {"a.txt", {"a.txt"}},
        {"Photos\\2024\\b.jpg", {"Photos", "2024", "b.jpg"}},
        {"Photos/2024/b.jpg", {"Photos", "2024", "b.jpg"}},  // "/" is a separator too
        {"..a\\b..", {"..a", "b.."}},
        {" spaced name \\x", {" spaced name ", "x"}},
        {"..", {}},
        {"..\\outside.txt", {}},
        {"a\\..\\..\\outside.txt", {}},
        {"a/../../outside.txt", {}},
        {".\\a", {}},
        {"\\etc\\passwd", {}},
        {"/etc/passwd", {}},
        {"\\\\server\\share\\x", {}},
        {"C:\\Windows\\x", {}},
        {"C:x", {}},
        {"a\\\\b", {}},
        {"a\\", {}},
        {"", {}},
        {"a\x01"
         "b",
         {}},
        {"a\nb", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wire);
        const auto names = ParseRelativePath(QString::fromUtf8(c.wire));
        if (c.names.isEmpty())
            EXPECT_FALSE(names) << names->join('|').toStdString();
        else
            EXPECT_EQ(names, c.names);
    }
    EXPECT_FALSE(ParseRelativePath(QString(256, u'n'))) << "a name over 255 bytes";
    EXPECT_FALSE(ParseRelativePath((QString(200, u'n') + u'\\').repeated(21) + "x")) << "a path over 4095 bytes";
    EXPECT_TRUE(ParseRelativePath((QString(200, u'n') + u'\\').repeated(20) + "x"));
}

TEST(RelativePath, TheSenderStripsOnlyTheBaseFolderAndLeavesOutNamesThatCannotTravel) {
    struct Case {
        const char* path;
        const char* base;
        QStringList names;  // empty: left out
    };
    const Case cases[] = {
        {"/data/Photos/a.jpg", "/data/", {"Photos", "a.jpg"}},
        // The base occurs again deeper down: only the leading one goes.
        {"/a/x/a/y", "/a/", {"x", "a", "y"}},
        {"/other/a.jpg", "/data/", {}},
        {"/data/", "/data/", {}},
        {"/data/12:30.txt", "/data/", {}},
        {"/data/back\\slash", "/data/", {}},
        {"/data/tab\tname", "/data/", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto names = RelativeNames(QString::fromUtf8(c.path), QString::fromUtf8(c.base));
        if (c.names.isEmpty())
            EXPECT_FALSE(names);
        else
            EXPECT_EQ(names, c.names);
    }
}

TEST(Progress, RoundsHalvesToEvenEstimatesTheRestAndWritesOneLine) {
    struct Case {
        std::int64_t done, total;
        std::optional<int> percent;
    };
    const Case cases[] = {
        {0, 0, std::nullopt}, {0, 8, 0},   {1, 8, 12},
        {3, 8, 38},           {5, 8, 62},  {1, 200, 0},
        {3, 200, 2},          {8, 8, 100}, {std::int64_t(3) << 30, std::int64_t(4) << 30, 75},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;

    EXPECT_EQ(RemainingSeconds(0, 100, 1000), std::nullopt);
    EXPECT_EQ(RemainingSeconds(50, 100, 0), std::nullopt);
    EXPECT_EQ(RemainingSeconds(25'000'000, 100'000'000, 1000), 3);
    EXPECT_EQ(RemainingSeconds(1, 3601, 1000), 3600);
    EXPECT_EQ(ProgressLine(25'000'000, 100'000'000, 3725), "25.0 MB of 100.0 MB (25 %), 1:02:05 remaining");
    EXPECT_EQ(ProgressLine(0, 1000, std::nullopt), "0 bytes of 1.0 kB (0 %)");
}

TEST(Choosers, RefuseArchiveFoldersAndKeepOnlyExistingChoices) {
    struct Case {
        const char* path;
        bool refused;
    };
    const Case nodes[] = {
        {"/home/u/backup.zip", true}, {"/home/u/x.tar", true},       {"/home/u/x.7z", true},
        {"/home/u/x.zipx", true},     {"/home/u/disk.iso", true},    {"/home/u/a.jar", true},
        {"/home/u/a.cab", true},      {"/home/u/a.rar", true},       {"/home/u/backup.ZIP", false},
        {"/home/u/x.tar.gz", false},  {"/home/u/zip", false},        {"/home/u.zip/docs", false},
        {"/x/systemprofile/y", true}, {"/x/SystemProfile/y", false},
    };
    for (const Case& c : nodes) EXPECT_EQ(FolderNodeRefused(c.path), c.refused) << c.path;

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("backup.zip");
    QFile(file).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    const QString sub = dir.filePath("sub"), gone = dir.filePath("gone");
    EXPECT_EQ(ExistingItems({gone, file, sub}), (QStringList{file, sub})) << "an archive is still a file";
    EXPECT_TRUE(ExistingItems({gone}).isEmpty());

    EXPECT_EQ(ConfirmedDestination(sub, QString()), sub);
    EXPECT_EQ(ConfirmedDestination(QString(), sub), sub) << "a virtual node keeps the previous destination";
    EXPECT_EQ(ConfirmedDestination(QString(), QString()), std::nullopt);
    EXPECT_EQ(ConfirmedDestination(QString(), gone), std::nullopt);
    EXPECT_EQ(ConfirmedDestination(file, sub), std::nullopt) << "a file is no destination";
}

TEST(InterfaceTexts, EveryTransferTextIsTranslatedIntoAllElevenLanguages) {
    Translator table;
    table.buildFromUtf8(embeddedLanguageTable());
    ASSERT_EQ(table.languageCount(), 11);
    const char* const keys[] = {
        "Send File",
        "Receive File",
        "File Transfer",
        "Abort",
        "OK",
        "Cancel",
        "Choose files and folders for transfer",
        "Choose destination folder",
        "Sending file %s",
        "Receiving file:",
        "Transfer of file %s is corrupted. Please try again later.",
        "Unable to transfer the file %s.",
        "Remote side is running in the Demonstration mode. It rejects the control commands.",
        "%s of %s",
        "%s remaining",
        "Name",
        "Size",
        "Type",
        "Date Modified",
    };
    for (const char* key : keys) {
        int row = -1;
        for (int r = 0; r < table.rowCount() && row < 0; ++r)
            if (table.cell(0, r) == QLatin1StringView(key)) row = r;
        ASSERT_GE(row, 0) << key;
        for (int language = 1; language < table.languageCount(); ++language) {
            const QString text = table.cell(language, row);
            EXPECT_FALSE(text.isEmpty()) << key << " in " << table.languageCode(language).toStdString();
            EXPECT_EQ(text.count("%s"), QString::fromLatin1(key).count("%s")) << key;
        }
    }
}

}  // namespace
}  // namespace corvala::transfer
