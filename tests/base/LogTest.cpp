// The program's log file: warnings and errors only, with their category,
// rotated so that the folder never holds more than a few files.
#include "base/Log.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvala {
namespace {

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(LogFile, KeepsWarningsAndErrorsAndRotates) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(LogFileName);
    static QStringList passedOn;
    passedOn.clear();
    const QtMessageHandler before =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) { passedOn << m; });

    InstallLogFile(path, 600, 2);
    qCInfo(lcSession) << "an info line";
    qCWarning(lcSession) << "first warning from" << QString("111111111");
    qCCritical(lcCore) << "an error";
    const QString first = Read(path);
    EXPECT_FALSE(first.contains("an info line"));
    EXPECT_TRUE(first.contains("warning corvala.session: first warning from \"111111111\""));
    EXPECT_TRUE(first.contains("error corvala.core: an error"));
    EXPECT_EQ(passedOn.size(), 3) << "the handler before still sees everything";

    for (int i = 0; i < 60; ++i) qCWarning(lcCore) << "filler warning number" << i;
    RemoveLogFile();
    qInstallMessageHandler(before);

    const QStringList files = QDir(folder.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, QStringList({"diagnostics.log", "diagnostics.log.1", "diagnostics.log.2"}));
    for (const QString& name : files) EXPECT_LE(QFile(folder.filePath(name)).size(), 600) << name.toStdString();
    EXPECT_TRUE(Read(path).contains("filler warning number 59")) << "the newest lines are in the current file";
    EXPECT_FALSE(Read(path + ".2").contains("first warning")) << "the oldest file went";
}

}  // namespace
}  // namespace corvala
