// The connection history file: what a peer's display name can do to it,
// that a saved log reads back as it was, its bytes on disk, older files and
// files too large to trust.
#include "features/ConnectionLog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace corvala {
namespace {

// A scratch folder for "log.txt".
class ConnectionLogFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QTemporaryDir folder;
    const QString path = folder.filePath("log.txt");
};

TEST_F(ConnectionLogFile, NamesWithLineBreaksCannotForgeLines) {
    struct Case {
        const char* name;
        QString line;
        QString stored;
    } cases[] = {
        {"plain", "Incoming connection from Bob (111111111)", "Incoming connection from Bob (111111111)"},
        {"CR LF", "Incoming connection from Bob\r\n01.01.2026 10:00: Outgoing (1)",
         "Incoming connection from Bob  01.01.2026 10:00: Outgoing (1)"},
        {"LF and tab", "from A\nB\tC", "from A B C"},
        {"line separator", QString("from A") + QChar(0x2028) + "B", "from A B"},
        {"letters of any script stay", "from Jürgen 李", "from Jürgen 李"},
    };
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

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST_F(ConnectionLogFile, NewestFirstWithByteOrderMarkAndCrLf) {
    ConnectionLog log;
    log.Load(path);  // no file yet: an empty log
    EXPECT_TRUE(log.IsEmpty());
    log.Insert("first (111)");
    ASSERT_TRUE(log.Save(path));
    EXPECT_EQ(FileBytes(path), QByteArray("\xEF\xBB\xBF"
                                          "first (111)\r\n"));
    log.Insert("second (222)");
    log.Insert(QString::fromUtf8("J\u00fcrgen (333)"));
    ASSERT_TRUE(log.Save(path));
    EXPECT_EQ(FileBytes(path), QByteArray("\xEF\xBB\xBF"
                                          "J\xC3\xBCrgen (333)\r\nsecond (222)\r\nfirst (111)\r\n"));
    ConnectionLog reread;
    reread.Load(path);
    EXPECT_EQ(reread.Lines(), QStringList({QString::fromUtf8("J\u00fcrgen (333)"), "second (222)", "first (111)"}));
}

TEST_F(ConnectionLogFile, ReadsOlderAndForeignFiles) {
    struct Case {
        const char* name;
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"without a byte-order mark", "b (2)\r\na (1)\r\n", {"b (2)", "a (1)"}},
        {"bare LF, no final line end", "b (2)\na (1)", {"b (2)", "a (1)"}},
        {"empty file", "", {}},
        {"only the mark", "\xEF\xBB\xBF", {}},
        {"a second mark belongs to the first line",
         "\xEF\xBB\xBF\xEF\xBB\xBF"
         "x\r\n",
         {QChar(0xFEFF) + QString("x")}},
        {"an empty line inside stays a line",
         "\xEF\xBB\xBF"
         "b\r\n\r\na\r\n",
         {"b", "", "a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.bytes);
        ConnectionLog log;
        log.Load(path);
        EXPECT_EQ(log.Lines(), c.lines);
        // Written back, the lines read as they were.
        EXPECT_EQ(ConnectionLog::ParseLines(ConnectionLog::FileBytes(c.lines), path), c.lines);
    }
}

TEST_F(ConnectionLogFile, BoundsWhatAFileAndAnEndlessRunCanHold) {
    // A file larger than the bound: its first (newest) whole lines are read.
    const QByteArray line = QByteArray(99, 'x') + "\n";
    const qint64 count = ConnectionLog::MaxFileBytes / line.size() + 10;
    QByteArray big = "newest\n";
    for (qint64 i = 0; i < count; ++i) big += line;
    WriteBytes(path, big);
    ConnectionLog log;
    log.Load(path);
    ASSERT_FALSE(log.IsEmpty());
    EXPECT_EQ(log.Lines().first(), "newest");
    EXPECT_LE(log.Lines().size(), ConnectionLog::MaxLines);
    for (const QString& l : log.Lines()) ASSERT_TRUE(l == "newest" || l.size() == 99) << "a cut line was kept";

    // One endless line is cut.
    WriteBytes(path, QByteArray(ConnectionLog::MaxLineLength * 3, 'y') + "\r\nold\r\n");
    log.Load(path);
    EXPECT_EQ(log.Lines(), QStringList({QString(ConnectionLog::MaxLineLength, u'y'), "old"}));

    // Inserting past the bound drops the oldest lines.
    log.Clear();
    for (int i = 0; i < ConnectionLog::MaxLines + 3; ++i) log.Insert(QString::number(i));
    EXPECT_EQ(log.Lines().size(), ConnectionLog::MaxLines);
    EXPECT_EQ(log.Lines().first(), QString::number(ConnectionLog::MaxLines + 2));
    EXPECT_EQ(log.Lines().last(), "3");
}

}  // namespace
}  // namespace corvala
