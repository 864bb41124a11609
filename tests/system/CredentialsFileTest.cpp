#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>

#include "system/CredentialsFile.h"

namespace corvala {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.toLocal8Bit().constData(), &st), 0);
    return st.st_mode;
}

QByteArray Content(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

TEST(CredentialsFile, OnlyItsOwnerReadsItWhateverStoodThereBefore) {
    QTemporaryDir dir;
    const QString path = dir.filePath("credentials");
    const QString elsewhere = dir.filePath("elsewhere");
    struct Case {
        const char* name;
        std::function<void()> before;
    };
    const Case cases[] = {
        {"new file", [] {}},
        {"a world-readable file", [&] {
             QFile old(path);
             ASSERT_TRUE(old.open(QIODevice::WriteOnly));
             old.write("ID=old\n");
             old.close();
             ::chmod(path.toLocal8Bit().constData(), 0644);
         }},
        {"a link to another file", [&] {
             QFile target(elsewhere);
             ASSERT_TRUE(target.open(QIODevice::WriteOnly));
             target.close();
             ASSERT_TRUE(QFile::link(elsewhere, path));
         }},
    };
    for (const Case& c : cases) {
        QFile::remove(path);
        c.before();
        ASSERT_TRUE(WriteCredentialsFile(path, "123456789", "ab3xyz")) << c.name;
        EXPECT_EQ(Content(path), "ID=123456789\nPassword=ab3xyz\n") << c.name;
        EXPECT_TRUE(S_ISREG(ModeOf(path))) << c.name << ": a link is replaced, not followed";
        EXPECT_EQ(ModeOf(path) & 07777, 0600u) << c.name;
    }
    EXPECT_EQ(Content(elsewhere), "") << "the link's target was written through";
}

TEST(CredentialsFile, FailsInAFolderThatDoesNotExist) {
    QTemporaryDir dir;
    EXPECT_FALSE(WriteCredentialsFile(dir.filePath("missing/credentials"), "123456789", "ab3xyz"));
}

}  // namespace
}  // namespace corvala
