// Figures of the file transfer over the real rt.so: one 1 GiB file from a
// viewer to a host, each side a process of its own with the program's
// hand-over of received messages to its main thread, once without video and
// once while the host sends a 1920x1080 picture that changes at 10 fps.
// Beside each, in the same session, the data channel's stop-and-wait limit:
// 64 KiB records each answered "D" through the same hand-over, with no
// transfer module in between. Also the peak memory of each side.
//
// Runs in a loopback-only namespace (the end-to-end main re-runs it there);
// prints its figures. Run it by hand:
//   CORVALA_ENGINE=<build>/bin/rt.so <build>/bench/transfer_bench
// CORVALA_BENCH_SECONDS sets how long the limit is measured (default 5).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>

#include "TransferSide.h"
#include "media/RtcClientPort.h"
#include "media/WebrtcClientVcl.h"
#include "transfer/RecordPipeline.h"

using namespace corvala;
using corvala::testing::TransferSide;

namespace {

const QString HostId = "111111111", ViewerId = "222222222";
constexpr std::int64_t FileBytes = std::int64_t(1) << 30;
constexpr int Width = 1920, Height = 1080, Fps = 10;

std::atomic<unsigned> gFrame{0};
int StartCapture(void*, int, int, int) { return 1; }
// A bar that moves on every frame over a grey desktop, and a changing band
// of noise, so that every frame differs.
int PaintFrame(void*, uint8_t* pixels, int width, int height) {
    auto* p = reinterpret_cast<uint32_t*>(pixels);
    const unsigned tick = gFrame++;
    const int bar = int(tick * 24 % unsigned(width));
    std::uint32_t noise = tick * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t colour = (x >= bar && x < bar + 96) ? 0xffffffffu : 0xff808080u;
            if (y >= 400 && y < 480) {
                noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
                colour = 0xff000000u | (noise & 0xffffffu);
            }
            p[y * width + x] = colour;
        }
    }
    return 1;
}
void StopCapture(void*) {}

struct Memory {
    long peakKiB = 0, residentKiB = 0;
};
Memory OwnMemory() {
    Memory memory;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) memory.peakKiB = std::stol(line.substr(6));
        if (line.rfind("VmRSS:", 0) == 0) memory.residentKiB = std::stol(line.substr(6));
    }
    return memory;
}

double MBps(std::int64_t bytes, qint64 ms) { return ms > 0 ? bytes / (ms / 1000.0) / 1e6 : 0; }

// Lines between the two processes: a word and base64 fields; the signalling
// of the session and the bench's own orders go this way.
class Wire : public QObject {
public:
    using Handler = std::function<void(const QByteArray& word, const QList<QByteArray>& fields)>;
    Wire(int fd, Handler handler) : FFd(fd), FHandler(std::move(handler)), FNotifier(fd, QSocketNotifier::Read) {
        connect(&FNotifier, &QSocketNotifier::activated, this, [this] { ReadLines(); });
    }
    // Any thread.
    void Send(const QByteArray& word, const QList<QByteArray>& fields = {}) {
        QByteArray line = word;
        for (const QByteArray& field : fields) line += ' ' + field.toBase64();
        line += '\n';
        std::lock_guard lock(FMutex);
        for (qsizetype done = 0; done < line.size();) {
            const ssize_t n = ::write(FFd, line.constData() + done, size_t(line.size() - done));
            if (n <= 0) return;
            done += n;
        }
    }

private:
    void ReadLines() {
        char chunk[65536];
        const ssize_t n = ::read(FFd, chunk, sizeof chunk);
        if (n <= 0) {
            FNotifier.setEnabled(false);
            FHandler("closed", {});
            return;
        }
        FBuffer.append(chunk, n);
        for (qsizetype end; (end = FBuffer.indexOf('\n')) >= 0;) {
            QList<QByteArray> parts = FBuffer.left(end).split(' ');
            FBuffer.remove(0, end + 1);
            const QByteArray word = parts.takeFirst();
            for (QByteArray& part : parts) part = QByteArray::fromBase64(part);
            FHandler(word, parts);
        }
    }

    int FFd;
    Handler FHandler;
    QSocketNotifier FNotifier;
    QByteArray FBuffer;
    std::mutex FMutex;
};

// One side of the session: its component, the transfer module, and what
// the data channel's messages go to right now.
class Side {
public:
    Side(bool host, int fd, const QString& received)
        : FHost(host),
          FComponent(QString()),
          FPort(FComponent),
          FTransfer(FPort, received, !host),
          FWire(fd, [this](const QByteArray& word, const QList<QByteArray>& fields) { OnLine(word, fields); }) {
        FTransfer.runTimers = true;
        FTransfer.now = 0;
        const QString other = host ? ViewerId : HostId;
        FComponent.OnSdpCreateSuccess = [this](TPeer*, const QString& type, const QString& sdp) {
            FWire.Send(type.toUtf8(), {sdp.toUtf8()});
        };
        FComponent.OnIceCandidate = [this](TPeer*, int label, const QString& mid, const QString& line) {
            FWire.Send("cand", {QByteArray::number(label), mid.toUtf8(), line.toUtf8()});
        };
        FComponent.OnReceiveData = [this](TPeer* sender, const QByteArray& bytes) {
            if (OnEngineThread.load()) return (*OnEngineThread.load())(*sender, bytes);
            QMetaObject::invokeMethod(
                &FContext, [this, sender, &bytes] { OnData(*sender, bytes); }, Qt::BlockingQueuedConnection);
        };
        FComponent.OnRenderFrame = [this](TWebRtcClientVcl*, bool local, bool, int, const QString&) {
            if (!local) ++Frames;
        };
        FOther = other;
    }

    void Start(bool video) {
        if (FHost) {
            FComponent.VideoCallEnabled = video;
            FComponent.CameraId = RTC_SOURCE_VIRTUAL;
            FComponent.VideoConstraints = {Width, Height, Fps, 0};
            FComponent.CaptureCallback = VirtualCaptureCallback{nullptr, &StartCapture, &PaintFrame, &StopCapture};
        } else {
            FComponent.VideoCallEnabled = false;
            FComponent.CameraId = RTC_SOURCE_SCREEN;
        }
        FComponent.SetActive(true);
        if (!FHost) FComponent.SetCurrentViewingPeerID(HostId);
        FPeer = FComponent.AddPeer(FOther, FComponent.FindEndPoint());
        if (FHost) FComponent.CreateOffer(FOther);
    }
    void Stop() {
        OnMessage = nullptr;
        OnEngineThread = nullptr;
        FComponent.SetActive(false);
    }

    // Runs the main loop until `done` (checked every 10 ms) or `seconds` pass.
    bool RunUntil(const std::function<bool()>& done, int seconds) {
        QEventLoop loop;
        QTimer check;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done() || clock.elapsed() > seconds * 1000) loop.quit();
        });
        check.start(10);
        if (!done()) loop.exec();
        return done();
    }

    using Handler = std::function<void(TPeer&, const QByteArray&)>;
    // The data channel's messages while no transfer runs, on the main thread.
    Handler OnMessage;
    // Set: the messages go there on the engine's thread instead, as soon
    // as they arrive (the channel without the program's hand-over).
    std::atomic<const Handler*> OnEngineThread{nullptr};
    // The bench's own orders over the wire.
    std::function<void(const QByteArray&, const QList<QByteArray>&)> OnOrder;
    std::atomic<long> Frames{0};

    TPeer& Peer() { return *FPeer; }
    TransferSide& Transfer() { return FTransfer; }
    Wire& Lines() { return FWire; }

private:
    void OnData(TPeer& sender, const QByteArray& bytes) {
        if (OnMessage)
            OnMessage(sender, bytes);
        else
            FTransfer.Receive(sender, bytes);
    }
    void OnLine(const QByteArray& word, const QList<QByteArray>& fields) {
        if (word == "offer")
            FComponent.CreateAnswer(FOther, "offer", QString::fromUtf8(fields.value(0)));
        else if (word == "answer")
            FComponent.SetRemoteSDP(FOther, "answer", QString::fromUtf8(fields.value(0)));
        else if (word == "cand")
            FComponent.AddIceCandidate(FOther, QString::fromUtf8(fields.value(1)), fields.value(0).toInt(),
                                       QString::fromUtf8(fields.value(2)));
        else if (OnOrder)
            OnOrder(word, fields);
    }

    bool FHost;
    QString FOther;
    QObject FContext;
    TWebRtcClientVcl FComponent;
    TWebRtcClientPort FPort;
    TransferSide FTransfer;
    Wire FWire;
    std::shared_ptr<TPeer> FPeer;
};

// The host: answers pings and records with "D", takes the file into
// `folder`, reports its memory, ends when told.
int RunHost(int fd, bool video, const QString& folder) {
    int argc = 1;
    char name[] = "transfer_bench_host";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    Side side(true, fd, folder + "/received");
    const Side::Handler echo = [](TPeer& sender, const QByteArray& bytes) {
        if (bytes == "PING")
            sender.SendDataToPeer("PONG");
        else if (bytes.size() == transfer::MaxRecordBytes)
            sender.SendDataToPeer("D");
    };
    Memory before;
    bool quit = false;
    side.OnOrder = [&](const QByteArray& word, const QList<QByteArray>&) {
        // Each order switches what the channel's messages go to, then says so.
        if (word == "handover") {
            side.OnEngineThread = nullptr;
            side.OnMessage = echo;
        } else if (word == "engine") {
            side.OnEngineThread = &echo;
        } else if (word == "module") {
            side.OnEngineThread = nullptr;
            side.OnMessage = nullptr;
            before = OwnMemory();
            side.Transfer().destination = folder + "/received";
        } else if (word == "report") {
            const Memory after = OwnMemory();
            side.Lines().Send("memory", {QByteArray::number(qlonglong(before.residentKiB)),
                                         QByteArray::number(qlonglong(after.peakKiB)),
                                         QByteArray::number(qlonglong(side.Transfer().transfer->PeakBufferedBytes()))});
        } else if (word == "quit" || word == "closed") {
            quit = true;
        }
        if (word == "handover" || word == "engine" || word == "module") side.Lines().Send("ready");
    };
    side.OnMessage = echo;
    side.Start(video);
    side.RunUntil([&] { return quit; }, 600);
    side.Stop();
    return 0;
}

struct Figures {
    // Stop-and-wait limits: through the hand-over before and after the
    // file, and on the engine's thread.
    double limitBefore = 0, limitAfter = 0, limitEngine = 0;
    double data = 0, whole = 0, framesPerSecond = 0;
    Memory sender, senderBefore, receiver, receiverBefore;
    std::int64_t senderHeld = 0, receiverHeld = 0;
    bool complete = false;
    double Limit() const { return (limitBefore + limitAfter) / 2; }
};

class Viewer {
public:
    Viewer(int fd, const QString& folder) : FSide(false, fd, folder + "/viewer-received") {
        FSide.OnOrder = [this](const QByteArray& word, const QList<QByteArray>& fields) {
            if (word == "ready") FReady = true;
            if (word == "memory") FMemory = fields;
        };
        FSide.OnMessage = [this](TPeer& sender, const QByteArray& bytes) { Count(sender, bytes); };
        FCount = [this](TPeer& sender, const QByteArray& bytes) { Count(sender, bytes); };
    }

    Side& Session() { return FSide; }

    bool Connect(bool video) {
        FSide.Start(false);
        if (!FSide.RunUntil(
                [&] {
                    FSide.Peer().SendDataToPeer("PING");
                    return FPonged.load();
                },
                60))
            return false;
        return !video || FSide.RunUntil([&] { return FSide.Frames > 20; }, 30);
    }

    // The host switched to `mode` ("handover", "engine", "module").
    void Order(const QByteArray& mode) {
        FReady = false;
        FSide.Lines().Send(mode);
        FSide.RunUntil([&] { return FReady; }, 30);
    }

    // 64 KiB records, each sent when the last one's "D" arrived, for the
    // bench's seconds; on the engine's thread or through the hand-over.
    double Limit(bool onEngineThread) {
        Order(onEngineThread ? "engine" : "handover");
        FSide.OnEngineThread = onEngineThread ? &FCount : nullptr;
        const int seconds = qEnvironmentVariableIntValue("CORVALA_BENCH_SECONDS");
        FLimitMs = (seconds > 0 ? seconds : 5) * 1000;
        FAcks = 0;
        FLastAckMs = 0;
        FClock.start();
        FSide.Peer().SendFileDataToPeer(FRecord);
        FSide.RunUntil([&] { return FClock.elapsed() >= FLimitMs + 1000; }, 60);
        FSide.OnEngineThread = nullptr;
        return MBps(FAcks * transfer::MaxRecordBytes, FLastAckMs);
    }

    // Send File's batch of `source`, started straight away (the choosers are not timed).
    void SendFile(const QString& source, Figures& figures) {
        Order("module");
        FSide.OnMessage = nullptr;
        figures.senderBefore = OwnMemory();
        TransferSide& transfer = FSide.Transfer();
        transfer.transfer->SelectedFilesAndDirs = {source};
        const long framesBefore = FSide.Frames;
        QElapsedTimer whole;
        whole.start();
        transfer.transfer->StartFileTransferTick();
        qint64 dataStarted = -1;
        FSide.RunUntil(
            [&] {
                if (dataStarted < 0 && transfer.mode == TTransferMode::Sending) dataStarted = whole.elapsed();
                return !transfer.transfer->Busy();
            },
            900);
        const qint64 wholeMs = whole.elapsed();
        figures.complete = dataStarted >= 0 && !transfer.calls.join('\n').contains("Message");
        figures.whole = MBps(FileBytes, wholeMs);
        figures.data = MBps(FileBytes, wholeMs - dataStarted);
        figures.framesPerSecond = (FSide.Frames - framesBefore) / (wholeMs / 1000.0);
        figures.sender = OwnMemory();
        figures.senderHeld = transfer.transfer->PeakBufferedBytes();
        FSide.OnMessage = [this](TPeer& sender, const QByteArray& bytes) { Count(sender, bytes); };
    }

    void ReceiverMemory(Figures& figures) {
        FSide.Lines().Send("report");
        FSide.RunUntil([&] { return FMemory.size() == 3; }, 30);
        figures.receiverBefore.residentKiB = FMemory.value(0).toLong();
        figures.receiver.peakKiB = FMemory.value(1).toLong();
        figures.receiverHeld = FMemory.value(2).toLongLong();
    }

    void End() {
        FSide.Lines().Send("quit");
        FSide.Stop();
    }

private:
    // Any thread.
    void Count(TPeer& sender, const QByteArray& bytes) {
        if (bytes == "PONG") FPonged = true;
        if (bytes != "D") return;
        ++FAcks;
        FLastAckMs = FClock.elapsed();
        if (FLastAckMs < FLimitMs) sender.SendFileDataToPeer(FRecord);
    }

    Side FSide;
    Side::Handler FCount;
    const QByteArray FRecord = QByteArray(transfer::MaxRecordBytes, 'x');
    QElapsedTimer FClock;
    qint64 FLimitMs = 0;
    std::atomic<long> FAcks{0};
    std::atomic<qint64> FLastAckMs{0};
    std::atomic<bool> FPonged{false};
    bool FReady = false;
    QList<QByteArray> FMemory;
};

// The viewer's run: the limits around the file, then both sides' memory.
Figures RunViewer(int fd, bool video, const QString& folder, const QString& source) {
    int argc = 1;
    char name[] = "transfer_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    Figures figures;
    Viewer viewer(fd, folder);
    if (!viewer.Connect(video)) {
        std::printf("the session did not come up\n");
        return figures;
    }
    figures.limitBefore = viewer.Limit(false);
    figures.limitEngine = viewer.Limit(true);
    viewer.SendFile(source, figures);
    figures.limitAfter = viewer.Limit(false);
    viewer.ReceiverMemory(figures);
    viewer.End();
    return figures;
}

void MakeSource(const QString& path) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, Qt::Uninitialized);
    std::uint64_t state = 88172645463325252ull;
    for (std::int64_t written = 0; written < FileBytes; written += block.size()) {
        auto* words = reinterpret_cast<std::uint64_t*>(block.data());
        for (qsizetype i = 0; i < block.size() / 8; ++i) {
            state ^= state << 13, state ^= state >> 7, state ^= state << 17;
            words[i] = state;
        }
        file.write(block);
    }
}

// Both sides in processes of their own, so that this one never holds the
// engine's threads when it forks the next session.
Figures RunSession(bool video, const QString& folder, const QString& source) {
    QDir(folder + "/received").removeRecursively();
    int wire[2], results[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wire) != 0 || ::pipe2(results, O_CLOEXEC) != 0) return {};
    std::fflush(stdout);
    const pid_t host = ::fork();
    if (host == 0) ::_exit(RunHost(wire[1], video, folder));
    const pid_t viewer = ::fork();
    if (viewer == 0) {
        const Figures figures = RunViewer(wire[0], video, folder, source);
        [[maybe_unused]] const auto n = ::write(results[1], &figures, sizeof figures);
        std::fflush(stdout);
        ::_exit(0);
    }
    for (int fd : {wire[0], wire[1], results[1]}) ::close(fd);
    Figures figures;
    const bool read = ::read(results[0], &figures, sizeof figures) == ssize_t(sizeof figures);
    ::close(results[0]);
    for (pid_t child : {host, viewer}) ::waitpid(child, nullptr, 0);
    return read ? figures : Figures{};
}

void Print(const char* title, const Figures& f, double target) {
    std::printf("\n%s\n", title);
    std::printf(
        "  stop-and-wait limit, 64 KiB records each answered \"D\" through the hand-over to the main\n"
        "  thread: %.1f MB/s before the file, %.1f MB/s after (mean %.1f); on the engine's thread: %.1f MB/s\n",
        f.limitBefore, f.limitAfter, f.Limit(), f.limitEngine);
    std::printf("  1 GiB file, records to verdict: %.1f MB/s = %.0f %% of the limit%s\n", f.data,
                f.Limit() > 0 ? 100 * f.data / f.Limit() : 0, f.complete ? "" : " (NOT COMPLETE)");
    std::printf("  1 GiB file, whole batch with the sender's digest: %.1f MB/s\n", f.whole);
    if (f.framesPerSecond > 0) std::printf("  frames at the viewer meanwhile: %.1f per second\n", f.framesPerSecond);
    std::printf("  sender: peak %ld MiB (resident before %ld MiB), at most %lld KiB of records\n",
                f.sender.peakKiB / 1024, f.senderBefore.residentKiB / 1024, (long long)(f.senderHeld / 1024));
    std::printf("  receiver: peak %ld MiB (resident before %ld MiB), at most %lld KiB of records\n",
                f.receiver.peakKiB / 1024, f.receiverBefore.residentKiB / 1024, (long long)(f.receiverHeld / 1024));
    std::printf("  target: %s\n", target > 0 ? (f.data >= target ? "met" : "MISSED") : "-");
}

}  // namespace

TEST(TransferFigures, OneGibibyteWithAndWithoutVideo) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString source = folder.filePath("source.bin");
    MakeSource(source);
    const Figures plain = RunSession(false, folder.path(), source);
    Print("without video:", plain, 0.9 * plain.Limit());
    const Figures video = RunSession(true, folder.path(), source);
    Print("with a 1920x1080 picture changing at 10 fps:", video, 25.0);
}
