// The connection history file: what a peer's display name can do to it, and
// that a saved log reads back as it was.
#include "features/ConnectionLog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace corvala {
namespace {

TEST(ConnectionLog, NamesWithLineBreaksCannotForgeLines) {
    struct Case {
        const char* name;
        QString line;
        QString stored;
    } cases[] = {
        {"plain", "Incoming connection from Bob (111111111)", "Incoming connection from Bob (111111111)"},
        {"CR LF", "Incoming connection from Bob\r\n01.01.2026 10:00: Outgoing (1)", "Incoming connection from Bob  01.01.2026 10:00: Outgoing (1)"},
        {"LF and tab", "from A\nB\tC", "from A B C"},
        {"line separator", QString("from A") + QChar(0x2028) + "B", "from A B"},
        {"letters of any script stay", "from Jürgen 李", "from Jürgen 李"},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("log.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionLog log;
        log.Insert(c.line);
        ASSERT_TRUE(log.Save(path));
        ConnectionLog reread;
        reread.Load(path);
        EXPECT_EQ(reread.Lines(), QStringList{c.stored});
    }
}

}  // namespace
}  // namespace corvala
