// The notices the About window lists cover every library the built program
// and its media engine link: a library added to the build without its notice
// fails here.
#include "app/ThirdPartyNotices.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace corvala {
namespace {

QStringList LinkedLibraries(const QString& binary) {
    QProcess ldd;
    ldd.start("ldd", {binary});
    EXPECT_TRUE(ldd.waitForFinished(30000)) << binary.toStdString();
    QStringList names;
    for (const QString& line : QString::fromLocal8Bit(ldd.readAllStandardOutput()).split('\n')) {
        const QString name = line.trimmed().section(' ', 0, 0);
        if (!name.isEmpty()) names << name.section('/', -1);
    }
    return names;
}

TEST(ThirdPartyNotices, EveryLinkedLibraryHasANotice) {
    QFile list(qEnvironmentVariable("CORVALA_SOURCE_DIR") + "/src/app/ThirdPartyNotices.tsv");
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QByteArray text = list.readAll();
    const QList<ThirdPartyNotice> notices = ParseThirdPartyNotices({text.constData(), std::size_t(text.size())});
    ASSERT_EQ(notices.size(), ThirdPartyNotices().size()) << "the program carries the list in the tree";
    for (const ThirdPartyNotice& notice : notices) {
        EXPECT_FALSE(notice.Name.isEmpty());
        EXPECT_FALSE(notice.Licence.isEmpty()) << notice.Name.toStdString();
        EXPECT_TRUE(notice.WebSite.startsWith("http")) << notice.Name.toStdString();
    }

    const QString bin = qEnvironmentVariable("CORVALA_BIN_DIR");
    QStringList linked;
    for (const char* binary : {"cr", "rt.so", "crsystem", "crserver"}) linked << LinkedLibraries(bin + "/" + binary);
    ASSERT_GT(linked.size(), 20) << "ldd found the libraries";
    for (const QString& library : linked) {
        // A sanitizer's runtime comes with the test build, not with the program.
        if (library.startsWith("libasan") || library.startsWith("libubsan") || library.startsWith("libtsan"))
            continue;
        bool covered = false;
        for (const ThirdPartyNotice& notice : notices)
            for (const QString& prefix : notice.FilePrefixes) covered = covered || library.startsWith(prefix);
        EXPECT_TRUE(covered) << library.toStdString() << " is linked but has no notice in ThirdPartyNotices.tsv";
    }
}

}  // namespace
}  // namespace corvala
