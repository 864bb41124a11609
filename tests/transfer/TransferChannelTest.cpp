// The transfer protocol over a real data channel: two components back to
// back over the real rt.so (BackToBack.h) in a loopback-only namespace, a
// transfer module on each side, and the engine's hand-over to this thread
// as the program makes it (the engine thread waits while the message is
// handled). No windows: the choosers answer as the test sets them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>

#include "BackToBack.h"
#include "TransferSide.h"
#include "fakes/QtTestApplication.h"
#include "media/RtcClientPort.h"
#include "transfer/Md5.h"
#include "transfer/RecordPipeline.h"

namespace corvala {
namespace {

using testing::TransferSide;
using namespace transfer;
using namespace std::chrono_literals;

constexpr std::int64_t KiB = 1024, MiB = 1024 * KiB, GiB = 1024 * MiB;

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray Pattern(std::int64_t size, int seed) {
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    char* data = bytes.data();
    for (std::int64_t i = 0; i < size; ++i) data[i] = char((i * 131 + seed) ^ (i >> 9));
    return bytes;
}

// Every file and folder below `root` with the files' bytes' digests, by
// relative path: two trees are equal when these are.
QStringList TreeOf(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString name = info.filePath().mid(root.size() + 1);
        if (info.isDir()) {
            entries << name + "/";
            continue;
        }
        QFile file(info.filePath());
        file.open(QIODevice::ReadOnly);
        Md5 md5;
        for (QByteArray block; !(block = file.read(1 << 20)).isEmpty();) md5.Add(block.constData(), block.size());
        entries << name + " " + QString::number(info.size()) + " " + md5.Finish();
    }
    entries.sort();
    return entries;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

class TransferChannel : public BackToBack {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        BackToBack::SetUp();
        if (HasFatalFailure()) return;
        hostPort = std::make_unique<TWebRtcClientPort>(*host);
        viewerPort = std::make_unique<TWebRtcClientPort>(*viewer);
        hostSide = std::make_unique<TransferSide>(*hostPort, Path("host-received"), false);
        viewerSide = std::make_unique<TransferSide>(*viewerPort, Path("viewer-received"), true);
        hostSide->runTimers = viewerSide->runTimers = true;
        // Before the engines run: the channel's messages reach the sides on
        // this thread, the engine thread waiting meanwhile.
        HandOver(*host, *hostSide);
        HandOver(*viewer, *viewerSide);
        Connect(false);
        if (HasFatalFailure()) return;
        ASSERT_TRUE(Pump(
            [&] {
                hostPeer->SendDataToPeer("PING");
                viewerPeer->SendDataToPeer("PING");
                return !hostSide->unhandled.isEmpty() && !viewerSide->unhandled.isEmpty();
            },
            30s, true))
            << "the data channels did not open";
    }

    void TearDown() override {
        closing = true;
        BackToBack::TearDown();
        hostSide.reset();
        viewerSide.reset();
    }

    void HandOver(TWebRtcClientVcl& component, TransferSide& side) {
        component.OnReceiveData = [this, &side](TPeer* sender, const QByteArray& bytes) {
            if (closing) return;
            QMetaObject::invokeMethod(
                &context, [&side, sender, &bytes] { side.Receive(*sender, bytes); }, Qt::BlockingQueuedConnection);
        };
    }

    // Runs this thread's events, as the program's main loop does, until
    // `done`; while connecting also the signalling between the two (whose
    // mailbox waits up to 50 ms when it is empty).
    bool Pump(const std::function<bool()>& done, std::chrono::seconds timeout = 30s, bool signalling = false) {
        if (done()) return true;
        const auto until = std::chrono::steady_clock::now() + timeout;
        QEventLoop loop;
        QTimer check;
        check.setInterval(signalling ? 0 : 20);
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (signalling) mailbox.WaitFor([] { return true; }, 0s);
            if (done() || std::chrono::steady_clock::now() > until) loop.quit();
        });
        check.start();
        loop.exec();
        return done();
    }

    QString Path(const QString& name) const { return folder.filePath(name); }

    // The viewer's "Send File..." of `items` into the host's `destination`.
    void StartSending(const QStringList& items, const QString& destination) {
        QDir().mkpath(destination);
        viewerSide->calls.clear();
        viewerSide->files = items;
        hostSide->destination = destination;
        viewerSide->transfer->SendFileClick();
    }

    // The same to the end of the batch and the destination opened.
    bool SendFromViewer(const QStringList& items, const QString& destination, std::chrono::seconds timeout = 60s) {
        StartSending(items, destination);
        return Pump([&] { return BatchOver(*viewerSide) && hostSide->Called("OpenFolder " + destination); }, timeout);
    }

    // The side's batch started since its calls were cleared, and ended.
    static bool BatchOver(const TransferSide& side) {
        return side.Called(testing::Ran(TransferTimer::StartFileTransfer)) && !side.transfer->Busy();
    }

    // What `side` heard that its transfer did not take, but for the set-up's pings.
    static QList<QByteArray> Replies(const TransferSide& side) {
        QList<QByteArray> replies = side.unhandled;
        replies.removeAll("PING");
        return replies;
    }

    QTemporaryDir folder;
    QObject context;
    std::atomic<bool> closing{false};
    std::unique_ptr<TWebRtcClientPort> hostPort, viewerPort;
    std::unique_ptr<TransferSide> hostSide, viewerSide;
};

TEST_F(TransferChannel, FilesOfEveryBoundarySizeArriveIntact) {
    const QString source = Path("source");
    WriteFile(source + "/empty.bin", {});
    WriteFile(source + "/one-record.bin", Pattern(65536, 1));
    WriteFile(source + "/one-more.bin", Pattern(65537, 2));
    // A record that starts like the end record but is longer is data.
    WriteFile(source + "/marker-and-more.bin", EndOfFileRecord + "!");
    WriteFile(source + "/Grüße ñ 字.txt", "non-ASCII name");
    QStringList items;
    for (const char* name : {"empty.bin", "one-record.bin", "one-more.bin", "marker-and-more.bin", "Grüße ñ 字.txt"})
        items << source + "/" + QString::fromUtf8(name);
    const QString destination = Path("chosen");
    ASSERT_TRUE(SendFromViewer(items, destination)) << viewerSide->calls.join('\n').toStdString();
    EXPECT_EQ(TreeOf(destination), TreeOf(source));
    EXPECT_EQ(hostSide->transfer->strDestinationDirectory, destination);
    EXPECT_LE(viewerSide->transfer->PeakBufferedBytes(), ReadAhead::Depth * MaxRecordBytes);
    EXPECT_LE(hostSide->transfer->PeakBufferedBytes(), (WriteBehind::MaxPending + 1) * MaxRecordBytes);
}

// "Receive File...": the host sends a nested tree and a folder with only
// empty folders; the viewer recreates both exactly and opens its destination.
TEST_F(TransferChannel, ANestedTreeAndEmptyFoldersArriveExactly) {
    const QString tree = Path("host-files/Projekt Ü");
    WriteFile(tree + "/readme.txt", "top");
    WriteFile(tree + "/src/main.cpp", Pattern(200 * KiB, 3));
    WriteFile(tree + "/src/deep/er/still/x.bin", Pattern(70 * KiB, 4));
    WriteFile(tree + "/.hidden", "dot");
    QDir().mkpath(tree + "/empty/inner");
    const QString hollow = Path("host-files/Hollow");
    QDir().mkpath(hollow + "/a/b");
    QDir().mkpath(hollow + "/c");

    const QString destination = Path("viewer-chosen");
    QDir().mkpath(destination);
    hostSide->files = QStringList{tree, hollow};
    viewerSide->destination = destination;
    viewerSide->transfer->ReceiveFileClick();
    ASSERT_TRUE(Pump([&] { return BatchOver(*hostSide) && viewerSide->Called("OpenFolder " + destination); }))
        << hostSide->calls.join('\n').toStdString();
    EXPECT_EQ(TreeOf(destination + "/Projekt Ü"), TreeOf(tree));
    EXPECT_EQ(TreeOf(destination + "/Hollow"), TreeOf(hollow));
    EXPECT_EQ(TreeOf(destination).size(), TreeOf(Path("host-files")).size()) << "nothing else arrived";
}

// Either side's Abort in the middle of a file: both sides are Idle, the
// partial file is gone, the files before it stay, the rest of the batch is
// not sent and the destination is not opened.
TEST_F(TransferChannel, AnAbortFromEitherSideStopsTheBatch) {
    const QString source = Path("source");
    WriteFile(source + "/1-first.txt", "kept");
    WriteFile(source + "/2-big.bin", Pattern(64 * MiB, 5));
    WriteFile(source + "/3-last.txt", "never sent");
    const QStringList items{source + "/1-first.txt", source + "/2-big.bin", source + "/3-last.txt"};
    for (const bool receiverAborts : {false, true}) {
        SCOPED_TRACE(receiverAborts ? "the receiver aborts" : "the sender aborts");
        const QString destination = Path(receiverAborts ? "by-receiver" : "by-sender");
        StartSending(items, destination);
        const QString partial = destination + "/2-big.bin";
        ASSERT_TRUE(Pump([&] { return QFileInfo(partial).size() > 4 * MiB; })) << "the big file is not under way";
        (receiverAborts ? hostSide : viewerSide)->transfer->AbortClick();
        ASSERT_TRUE(Pump([&] { return BatchOver(*viewerSide) && hostSide->mode == TTransferMode::Idle; }));
        EXPECT_TRUE(Pump([&] { return !QFile::exists(partial); }, 5s));
        EXPECT_TRUE(QFile::exists(destination + "/1-first.txt"));
        EXPECT_FALSE(QFile::exists(destination + "/3-last.txt"));
        EXPECT_FALSE(hostSide->Called("OpenFolder " + destination));
        EXPECT_EQ(viewerSide->mode, TTransferMode::Idle);
    }
}

// A file of exactly the end record's four bytes: the receiver takes them for
// the end, the digest of nothing fails, both sides report it and the
// receiver keeps nothing.
TEST_F(TransferChannel, ACorruptedFileIsReportedOnBothSidesAndRemoved) {
    const QString source = Path("source");
    WriteFile(source + "/looks-like-the-end.bin", EndOfFileRecord);
    WriteFile(source + "/after.txt", "not sent after a corrupted file");
    const QString destination = Path("corrupted");
    StartSending({source + "/looks-like-the-end.bin", source + "/after.txt"}, destination);
    ASSERT_TRUE(Pump([&] { return BatchOver(*viewerSide) && hostSide->mode == TTransferMode::Idle; }));
    const auto notice = [](const QString& path) {
        return "Message Transfer of file " + path + " is corrupted. Please try again later.";
    };
    EXPECT_TRUE(viewerSide->Called(notice(source + "/looks-like-the-end.bin")))
        << viewerSide->calls.join('\n').toStdString();
    EXPECT_FALSE(hostSide->Called(notice(destination + "/looks-like-the-end.bin")))
        << "an unattended host says nothing";
    EXPECT_FALSE(hostSide->Called("OpenFolder " + destination));
    EXPECT_TRUE(Pump([&] { return TreeOf(destination).isEmpty(); }, 5s)) << TreeOf(destination).join(' ').toStdString();
}

// The sender falls silent in the middle of a file: after the limit the
// receiving host gives the file and the call up, and keeps nothing.
TEST_F(TransferChannel, ASilentSenderTimesOut) {
    const QString source = Path("source");
    WriteFile(source + "/big.bin", Pattern(16 * MiB, 6));
    const QString destination = Path("stalled");
    StartSending({source + "/big.bin"}, destination);
    ASSERT_TRUE(Pump([&] { return QFileInfo(destination + "/big.bin").size() > MiB; }));
    viewerSide->deaf = true;
    hostSide->now += (DataTimeoutSeconds + 1) * 1000;
    hostSide->transfer->TimeoutTick();
    EXPECT_EQ(hostSide->mode, TTransferMode::Idle);
    EXPECT_TRUE(hostSide->Called("CallEndedByTransfer"));
    EXPECT_EQ(host->Peers.Find(kViewerId), nullptr) << "the host ended the call";
    EXPECT_TRUE(Pump([&] { return !QFile::exists(destination + "/big.bin"); }, 5s));
}

// Every form of a received path that leads out of the destination is
// refused: the sender hears "ABORT", the receiver stays Idle, nothing is
// written or made outside (a link inside the destination included).
TEST_F(TransferChannel, PathsThatLeaveTheDestinationAreRefusedWithNothingWrittenOutside) {
    const QString destination = Path("dest");
    const QString outside = Path("outside");
    QDir().mkpath(destination);
    QDir().mkpath(outside);
    ASSERT_EQ(::symlink(outside.toUtf8().constData(), (destination + "/link").toUtf8().constData()), 0);
    hostSide->transfer->strDestinationDirectory = destination;
    const QString digest = "900150983CD24FB0D6963F7D28E17F72";  // of "abc"
    const QString escapes[] = {
        "..\\outside\\x.txt", "../outside/x.txt", "a\\..\\..\\outside\\x.txt",
        "\\tmp\\x.txt",       "/tmp/x.txt",       "C:\\x.txt",
        "a\\\\x.txt",         "link\\x.txt",
    };
    for (const QString& path : escapes) {
        SCOPED_TRACE(path.toStdString());
        viewerSide->unhandled.clear();
        viewerPeer->SendDataToPeer("FILE3:" + digest + ";" + path);
        ASSERT_TRUE(Pump([&] { return !Replies(*viewerSide).isEmpty(); }, 10s));
        EXPECT_EQ(Replies(*viewerSide), QList<QByteArray>{"ABORT"});
        // Were it taken, its bytes would go wherever it points: the check below sees them.
        if (Replies(*viewerSide).first() == "D") viewerPeer->SendFileDataToPeer("abc");
        EXPECT_EQ(hostSide->mode, TTransferMode::Idle);
        viewerPeer->SendDataToPeer("DIRECTORY" + path);
    }
    viewerSide->unhandled.clear();
    viewerPeer->SendDataToPeer("FILE3:" + digest + ";inside.txt");  // the channel still works
    ASSERT_TRUE(Pump([&] { return Replies(*viewerSide) == QList<QByteArray>{"D"}; }, 10s));
    viewerPeer->SendFileDataToPeer("abc");
    ASSERT_TRUE(Pump([&] { return Replies(*viewerSide).size() == 2; }, 10s));
    viewerPeer->SendFileDataToPeer(EndOfFileRecord);
    ASSERT_TRUE(Pump([&] { return Replies(*viewerSide).contains("COMPLETE"); }, 10s));
    EXPECT_TRUE(QDir(outside).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_FALSE(QFile::exists(Path("x.txt")));
    EXPECT_FALSE(QFile::exists("/tmp/x.txt"));
    EXPECT_EQ(TreeOf(destination), (QStringList{"inside.txt 3 " + digest, "link/"}));
}

// 3 GiB, mostly holes: sizes past 32 bits end to end, the digest checked at
// the receiver, and no more than a few records held in memory on either side.
TEST_F(TransferChannel, AThreeGibibyteSparseFileArrivesWithAFewRecordsInMemory) {
    const QString source = Path("source/sparse.bin");
    QDir().mkpath(Path("source"));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (const std::int64_t at : {std::int64_t(0), 2 * GiB + 1, 3 * GiB - 5}) {
            file.seek(at);
            file.write("data!");
        }
        ASSERT_EQ(file.size(), 3 * GiB);
    }
    const long residentBefore = ResidentKiB();
    long residentPeak = residentBefore;
    const QString destination = Path("big");
    StartSending({source}, destination);
    ASSERT_TRUE(Pump(
        [&] {
            residentPeak = std::max(residentPeak, ResidentKiB());
            return BatchOver(*viewerSide) && hostSide->Called("OpenFolder " + destination);
        },
        // About three minutes alone on two cores; much longer beside a build.
        600s))
        << "received so far: " << QFileInfo(destination + "/sparse.bin").size();
    EXPECT_EQ(TreeOf(destination), TreeOf(Path("source")));
    EXPECT_LE(viewerSide->transfer->PeakBufferedBytes(), ReadAhead::Depth * MaxRecordBytes);
    EXPECT_LE(hostSide->transfer->PeakBufferedBytes(), (WriteBehind::MaxPending + 1) * MaxRecordBytes);
    EXPECT_LT(residentPeak - residentBefore, 64 * 1024) << "KiB more resident while 3 GiB went through";
}

}  // namespace
}  // namespace corvala
