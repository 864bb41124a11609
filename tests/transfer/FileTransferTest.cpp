// The transfer's state machine against a recording component (no engine):
// what a peer may ask of each role, the time-outs, and every way a receive
// fails, each leaving no partial file and the transfer Idle. The protocol
// over a real data channel is TransferChannelTest.cpp.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "TransferSide.h"
#include "fakes/QtTestApplication.h"
#include "fakes/RecordingRtc.h"
#include "transfer/Md5.h"

namespace corvala {
namespace {

using namespace transfer;

const QString HostId = "111111111";
const QString ViewerId = "222222222";
const QString StrangerId = "333333333";

QString Md5Of(const QByteArray& bytes) {
    Md5 md5;
    md5.Add(bytes.constData(), std::size_t(bytes.size()));
    return md5.Finish();
}

class TransferLogic : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        rtc.Activate({});
    }
    void TearDown() override { side.transfer.reset(); }

    QString Received() const { return dir.filePath("received"); }

    std::shared_ptr<TPeer> Peer(const QString& id) {
        auto peer = rtc.AddPeer(id, rtc.FindEndPoint());
        peer->Alive = true;
        return peer;
    }

    void Receive(TPeer& sender, const QByteArray& data) { side.Receive(sender, data); }

    // The transfer's replies arrive once its worker is done.
    bool WaitSent(const std::vector<std::string>& expected) {
        std::vector<std::string> sent;
        const bool ok = QTest::qWaitFor(
            [&] {
                for (auto& line : rtc.TakeData()) sent.push_back(std::move(line));
                return sent.size() >= expected.size();
            },
            5000);
        EXPECT_EQ(sent, expected);
        return ok && sent == expected;
    }

    // A header from `peer` for x.bin of `bytes`, answered "D".
    void StartReceiving(TPeer& peer, const QByteArray& bytes, const QString& name = "x.bin") {
        Receive(peer, MakeFileHeader(bytes.size(), Md5Of(bytes), {name}).toUtf8());
        ASSERT_EQ(side.mode, TTransferMode::Receiving);
        ASSERT_TRUE(WaitSent({peer.Id().toStdString() + ": D"}));
    }

    bool PartialGone(const QString& name = "x.bin") {
        return QTest::qWaitFor([&] { return !QFile::exists(Received() + "/" + name); }, 5000);
    }

    QTemporaryDir dir;
    testing::RecordingRtc rtc;
    testing::TransferSide side{rtc, dir.filePath("received"), false};
    TTransferMode& mode = side.mode;
    std::int64_t& now = side.now;
    std::unique_ptr<FileTransfer>& transfer = side.transfer;
    testing::TransferSide& events = side;
};

using testing::Armed;

// A host may not put a chooser in front of a viewer, nor push files to it,
// unless the viewer asked that host; a printed document is the exception.
TEST_F(TransferLogic, AViewerTakesRequestsAndFilesOnlyFromTheHostItAsked) {
    events.master = true;
    auto host = Peer(HostId);
    auto stranger = Peer(StrangerId);
    rtc.SetCurrentViewingPeerID(HostId);

    Receive(*host, "SELECTDIR");
    Receive(*host, "GETFILE");
    EXPECT_TRUE(events.calls.isEmpty()) << events.calls.join(", ").toStdString();
    Receive(*host, MakeFileHeader(3, Md5Of("abc"), {"x.bin"}).toUtf8());
    EXPECT_EQ(mode, TTransferMode::Idle);
    EXPECT_TRUE(WaitSent({"111111111: ABORT"}));

    transfer->ReceiveFileClick();
    EXPECT_TRUE(WaitSent({"111111111: GETFILE"}));
    Receive(*stranger, "SELECTDIR");
    EXPECT_FALSE(events.Called(Armed(TransferTimer::SelectDirectory)));
    Receive(*host, "SELECTDIR");
    EXPECT_TRUE(events.Called(Armed(TransferTimer::SelectDirectory)));
    events.destination = dir.filePath("chosen");
    QDir().mkpath(*events.destination);
    transfer->SelectDirectoryTick();
    EXPECT_TRUE(WaitSent({"111111111: DIRSELECTED"}));
    EXPECT_EQ(transfer->strDestinationDirectory, *events.destination);

    // Files and folders now come from the host, and from nobody else.
    Receive(*stranger, "DIRECTORYsneaked");
    Receive(*stranger, MakeFileHeader(3, Md5Of("abc"), {"x.bin"}).toUtf8());
    EXPECT_TRUE(WaitSent({"333333333: ABORT"}));
    Receive(*host, "OPENDOCSDIR");
    EXPECT_FALSE(events.Called("OpenFolder " + *events.destination)) << "nothing was delivered yet";
    Receive(*host, "DIRECTORYPhotos\\2024");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QDir(*events.destination + "/Photos/2024").exists(); }, 5000));
    EXPECT_FALSE(QDir(*events.destination + "/sneaked").exists());
    Receive(*host, "OPENDOCSDIR");
    EXPECT_TRUE(events.Called("OpenFolder " + *events.destination));
    events.calls.clear();
    Receive(*host, "OPENDOCSDIR");
    EXPECT_TRUE(events.calls.isEmpty()) << "opened once per delivery";

    // The printed document needs no agreement, and lands in ReceivedFilesFolder.
    Receive(*host, MakeFileHeader(3, Md5Of("pdf"), {"VELMORAPRINTER.PDF"}).toUtf8());
    ASSERT_EQ(mode, TTransferMode::Receiving);
    ASSERT_TRUE(WaitSent({"111111111: D"}));
    Receive(*host, "pdf");
    ASSERT_TRUE(WaitSent({"111111111: D"}));
    Receive(*host, EndOfFileRecord);
    ASSERT_TRUE(WaitSent({"111111111: COMPLETE"}));
    EXPECT_EQ(transfer->strDestinationDirectory, Received()) << "and stays the destination";
    QFile printed(Received() + "/VELMORAPRINTER.PDF");
    ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
    EXPECT_EQ(printed.readAll(), "pdf");
}

TEST_F(TransferLogic, AnOfferIsTakenOnceAndOnlyByThePeerItWentTo) {
    auto viewer = Peer(ViewerId);
    auto stranger = Peer(StrangerId);
    Receive(*viewer, "DIRSELECTED");
    EXPECT_TRUE(events.calls.isEmpty()) << "nothing was offered";

    const QString file = dir.filePath("a.txt");
    QFile(file).open(QIODevice::WriteOnly);
    events.files = QStringList{file};
    Receive(*viewer, "GETFILE");
    EXPECT_EQ(rtc.CurrentViewingPeerID(), ViewerId);
    EXPECT_TRUE(events.Called(Armed(TransferTimer::SelectDirsAndFiles)));
    transfer->SelectDirsAndFilesTick();
    EXPECT_TRUE(WaitSent({"222222222: SELECTDIR"}));

    Receive(*stranger, "DIRSELECTED");
    EXPECT_FALSE(events.Called(Armed(TransferTimer::StartFileTransfer)));
    Receive(*viewer, "DIRSELECTED");
    EXPECT_TRUE(events.Called(Armed(TransferTimer::StartFileTransfer)));
    events.calls.clear();
    Receive(*viewer, "DIRSELECTED");
    EXPECT_TRUE(events.calls.isEmpty()) << "a second answer starts nothing";
}

// No progress for longer than the limit gives the transfer up: a partial
// file goes; a viewer marks the host lost and says so, a host ends the call.
TEST_F(TransferLogic, AStalledTransferIsGivenUpAfterItsLimit) {
    struct Case {
        const char* name;
        bool master;
        bool receiving;
        int limitSeconds;
    };
    const Case cases[] = {
        {"host receiving", false, true, 30},
        {"viewer receiving", true, true, 32},
        {"host sending", false, false, 30},
    };
    const QString source = dir.filePath("source.bin");
    QFile out(source);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray(100000, 's'));
    out.close();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        side.Make();
        side.calls.clear();
        side.master = c.master;
        auto peer = Peer(ViewerId);
        rtc.SetCurrentViewingPeerID(ViewerId);
        if (c.receiving) {
            events.destination = Received();
            QDir().mkpath(Received());
            if (c.master) {  // the viewer agreed first
                transfer->ReceiveFileClick();
                Receive(*peer, "SELECTDIR");
                transfer->SelectDirectoryTick();
                rtc.TakeData();
            }
            StartReceiving(*peer, QByteArray(100, 'r'));
            Receive(*peer, QByteArray(10, 'r'));
            ASSERT_TRUE(WaitSent({"222222222: D"}));
            ASSERT_TRUE(QFile::exists(Received() + "/x.bin"));
        } else {
            transfer->SelectedFilesAndDirs = {source};
            transfer->StartFileTransferTick();
            ASSERT_TRUE(QTest::qWaitFor([&] { return mode == TTransferMode::Sending; }, 5000));
            rtc.TakeData();
        }
        now += c.limitSeconds * 1000;
        transfer->TimeoutTick();
        EXPECT_NE(mode, TTransferMode::Idle) << "not before the limit";
        now += 1000;
        transfer->TimeoutTick();
        EXPECT_EQ(mode, TTransferMode::Idle);
        EXPECT_FALSE(transfer->Busy());
        if (c.receiving) {
            EXPECT_TRUE(PartialGone());
        }
        if (c.master) {
            EXPECT_FALSE(peer->Alive);
            EXPECT_TRUE(events.Called("UpdateAliveButton"));
            EXPECT_TRUE(events.Called("Message Unable to transfer the file " + Received() + "/x.bin."));
        } else {
            EXPECT_EQ(rtc.FindPeer(ViewerId), nullptr) << "the host ended the call";
            EXPECT_TRUE(events.Called("CallEndedByTransfer"));
        }
        rtc.EndCall(ViewerId);
    }
}

TEST_F(TransferLogic, TheSenderWaitsLongerForTheVerdictThanForData) {
    auto viewer = Peer(ViewerId);
    rtc.SetCurrentViewingPeerID(ViewerId);
    const QString source = dir.filePath("small.bin");
    QFile out(source);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("12345");
    out.close();
    transfer->SelectedFilesAndDirs = {source};
    transfer->StartFileTransferTick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mode == TTransferMode::Sending; }, 5000));
    rtc.TakeData();  // the header
    Receive(*viewer, "D");
    ASSERT_TRUE(WaitSent({"222222222: 12345"}));
    Receive(*viewer, "D");
    ASSERT_TRUE(WaitSent({"222222222: " + EndOfFileRecord.toStdString()}));
    now += 299 * 1000;
    transfer->TimeoutTick();
    EXPECT_EQ(mode, TTransferMode::Sending) << "the receiver may still be checking";
    now += 2 * 1000;
    transfer->TimeoutTick();
    EXPECT_EQ(mode, TTransferMode::Idle);
}

// Every way a receive goes wrong: the sender hears "ABORT" (or nothing when
// it aborted itself), the partial file goes, the receiver is Idle again.
TEST_F(TransferLogic, AFailedReceiveTellsTheSenderAndLeavesNoPartialFile) {
    auto viewer = Peer(ViewerId);
    auto stranger = Peer(StrangerId);

    // A record longer than what is still expected is no longer file data.
    StartReceiving(*viewer, QByteArray(100, 'a'));
    Receive(*viewer, QByteArray(60, 'a'));
    ASSERT_TRUE(WaitSent({"222222222: D"}));
    Receive(*viewer, QByteArray(41, 'a'));
    EXPECT_EQ(mode, TTransferMode::Idle);
    EXPECT_TRUE(WaitSent({"222222222: ABORT"}));
    EXPECT_TRUE(PartialGone());

    // Another peer's bytes are dropped; the transfer goes on.
    StartReceiving(*viewer, "abc");
    Receive(*stranger, "zzz");
    EXPECT_EQ(mode, TTransferMode::Receiving);
    Receive(*viewer, "abc");
    ASSERT_TRUE(WaitSent({"222222222: D"}));
    Receive(*viewer, EndOfFileRecord);
    ASSERT_TRUE(WaitSent({"222222222: COMPLETE"}));

    // The sender's own abort: no reply.
    StartReceiving(*viewer, QByteArray(100, 'b'));
    Receive(*viewer, AbortRecord);
    EXPECT_EQ(mode, TTransferMode::Idle);
    EXPECT_TRUE(PartialGone());
    EXPECT_TRUE(rtc.TakeData().empty());

    // The local Abort button: "ABORT" at the next record.
    StartReceiving(*viewer, QByteArray(100, 'c'));
    transfer->AbortClick();
    Receive(*viewer, QByteArray(10, 'c'));
    EXPECT_TRUE(WaitSent({"222222222: ABORT"}));
    EXPECT_TRUE(PartialGone());

    // A file that cannot be written (a full disk): "ABORT" to the record after.
    StartReceiving(*viewer, QByteArray(300000, 'd'));
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    for (int i = 0; i < 2; ++i) {
        Receive(*viewer, QByteArray(65536, 'd'));
        ASSERT_TRUE(WaitSent({"222222222: D"}));
    }
    QTest::qWait(100);  // the second write fails meanwhile
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    Receive(*viewer, QByteArray(65536, 'd'));
    EXPECT_TRUE(WaitSent({"222222222: ABORT"}));
    EXPECT_EQ(mode, TTransferMode::Idle);
    EXPECT_TRUE(PartialGone());

    // A destination that cannot be made: "ABORT" at once, nothing left.
    QFile blocker(Received() + "/sub");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Receive(*viewer, MakeFileHeader(3, Md5Of("abc"), {"sub", "x.bin"}).toUtf8());
    EXPECT_TRUE(WaitSent({"222222222: ABORT"}));
    EXPECT_EQ(mode, TTransferMode::Idle);
    EXPECT_FALSE(transfer->Busy());

    // A header that does not parse: refused, not read as an empty file.
    Receive(*viewer, "FILEx:" + Md5Of("").toUtf8() + ";empty.bin");
    EXPECT_TRUE(WaitSent({"222222222: ABORT"}));
    EXPECT_FALSE(QFile::exists(Received() + "/empty.bin"));
}

TEST_F(TransferLogic, TheConnectionEndingEndsItsTransfer) {
    auto viewer = Peer(ViewerId);
    StartReceiving(*viewer, QByteArray(100, 'e'));
    Receive(*viewer, QByteArray(50, 'e'));
    ASSERT_TRUE(WaitSent({"222222222: D"}));
    rtc.EndCall(ViewerId);
    transfer->PeerEnded(ViewerId);
    EXPECT_EQ(mode, TTransferMode::Idle);
    EXPECT_TRUE(PartialGone());
    EXPECT_FALSE(transfer->Busy());
}

}  // namespace
}  // namespace corvala
