// The file transfer: the parsers of the FILE header and of relative paths,
// and the state machine that takes a peer's data-channel messages, in either
// role, with its file work done for real in a scratch folder.
//
// Input: a first byte. Even: the rest is text for the two parsers. Odd: a
// session, bit 1 making this side the viewer; steps follow (Session::Step).
//
// Properties: a parsed path has only names that stay where they are put (no
// empty, ".", ".." name, none with a separator, ":" or a control character,
// none too long) and reads the same once written back; a parsed size is
// never negative. A session makes nothing outside its two destination
// folders (checked after every step that ran file work); once it ends, every file left there is
// one this side answered COMPLETE for and holds exactly what its sender
// announced; the files offered for sending stay as they were; and the
// transfer never keeps itself busy without a message from outside.
#include "FuzzSupport.h"
#include "QuietQtLogging.h"
#include "SteppedWorker.h"
#include "TransferSide.h"
#include "fakes/RecordingRtc.h"
#include "transfer/Md5.h"

#include <QCoreApplication>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace corvala {
namespace {

using namespace transfer;
using fuzz::Fail;

// ---- the parsers -----------------------------------------------------------------

// What a parsed path promises, checked apart from the parser's own code.
void CheckPath(const QStringList& names) {
    if (names.isEmpty()) Fail("a parsed path has no name");
    for (const QString& name : names) {
        if (name.isEmpty() || name == u"." || name == u"..") Fail("a parsed path has an empty, \".\" or \"..\" name");
        for (const QChar c : name)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == u':' || c == u'/' || c == u'\\')
                Fail("a parsed name holds a separator, \":\" or a control character");
        if (name.toUtf8().size() > MaxNameBytes) Fail("a parsed name is longer than a file name may be");
    }
    if (names.join(u'/').toUtf8().size() > MaxPathBytes) Fail("a parsed path is longer than a path may be");
}

bool IsDigest(const QString& text) {
    return text.size() == 32 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() || (c >= u'A' && c <= u'F'); });
}

void FuzzParsers(const QString& text) {
    QString why;
    const std::optional<QStringList> path = ParseRelativePath(text, &why);
    if (path.has_value() == !why.isEmpty()) Fail("a path refused without a reason, or taken with one");
    if (path) {
        CheckPath(*path);
        if (ParseRelativePath(ToWirePath(*path)) != path) Fail("a parsed path reads differently once written");
    }

    why.clear();
    const std::optional<FileHeader> header = ParseFileHeader(text, &why);
    if (header.has_value() == !why.isEmpty()) Fail("a header refused without a reason, or taken with one");
    if (!header) return;
    if (header->Size < 0) Fail("a parsed size is negative");
    if (!IsDigest(header->Digest)) Fail("a parsed digest is not 32 upper-case hexadecimal digits");
    CheckPath(header->Path);
    const auto again = ParseFileHeader(MakeFileHeader(header->Size, header->Digest, header->Path));
    if (!again || again->Size != header->Size || again->Digest != header->Digest || again->Path != header->Path)
        Fail("a parsed header reads differently once written");
}

// ---- a session -------------------------------------------------------------------

const QString PeerId = QStringLiteral("111111111");
const QString StrangerId = QStringLiteral("222222222");

QString Local(const fs::path& path) { return QString::fromStdString(path.string()); }

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every entry below `folder` with its size (0 for folders).
std::map<fs::path, std::uintmax_t> Listing(const fs::path& folder) {
    std::map<fs::path, std::uintmax_t> listing;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        listing[entry.path()] = entry.is_regular_file() ? entry.file_size() : 0;
    return listing;
}

// The folders of every session, made once: what the side offers to send
// (a small file, and a folder with a file of two records and an empty
// folder), and the two destinations, inside folders that must stay as they are.
struct Folders {
    Folders() : Root(fuzz::ScratchFolder("transfer")) {
        fs::create_directories(Outbox() / "folder" / "empty");
        fs::create_directories(Inside());
        std::ofstream(Outbox() / "a.txt", std::ios::binary) << "abc";
        std::string records(MaxRecordBytes + 100, '\0');
        for (std::size_t i = 0; i < records.size(); ++i) records[i] = char(i % 251);
        std::ofstream(Outbox() / "folder" / "b.bin", std::ios::binary) << records;
        Offered = Listing(Outbox());
    }
    fs::path Root;
    std::map<fs::path, std::uintmax_t> Offered;
    fs::path Outbox() const { return Root / "outbox"; }
    fs::path Around() const { return Root / "around"; }
    fs::path Inside() const { return Around() / "inside"; }
    fs::path Received() const { return Inside() / "received"; }
    fs::path Chosen() const { return Inside() / "chosen"; }
};

void ExpectOnly(const fs::path& folder, std::initializer_list<fs::path> allowed) {
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (std::find(allowed.begin(), allowed.end(), entry.path()) == allowed.end())
            Fail("something was made outside the destination folders");
}

class Session {
public:
    Session(const Folders& folders, bool viewer) : FFolders(folders), FSide(FRtc, Local(folders.Received()), viewer) {
        FRtc.Activate({});
        AddPeer(PeerId);
        AddPeer(StrangerId);
        FRtc.SetCurrentViewingPeerID(PeerId);
        FSide.files = QStringList{Local(folders.Outbox() / "a.txt"), Local(folders.Outbox() / "folder")};
        FSide.destination = Local(folders.Chosen());
        FSide.runTimers = true;
    }

    // One step: an operation byte, bit 7 settling what it started, then what
    // the operation reads.
    void Step(fuzz::InputReader& input) {
        const std::uint64_t jobsBefore = fuzz::JobsRun();
        const std::uint8_t op = input.Byte();
        switch ((op & 0x7F) % 8) {
            case 0: Receive(PeerId, Message(input)); break;
            case 1: Receive(StrangerId, Message(input)); break;
            case 2: fuzz::RunWorkerJob(); break;
            case 3: QCoreApplication::sendPostedEvents(); break;
            case 4:
                FSide.now += std::int64_t(input.Byte()) * 2000;
                FSide.transfer->TimeoutTick();
                break;
            case 5: Click(input.Byte()); break;
            case 6: EndCall(input.Byte() & 1 ? StrangerId : PeerId); break;
            case 7: break;
        }
        if (op & 0x80) Settle();
        Collect();
        // Only the worker's jobs touch files.
        if (fuzz::JobsRun() != jobsBefore) ExpectNothingOutside();
    }

    // The transfer ends (a file under way is removed with it); what it left
    // is checked, then cleared for the next session.
    void End() {
        // The armed timers' ticks would outlive the transfer they call.
        QCoreApplication::removePostedEvents(QCoreApplication::instance());
        FSide.transfer.reset();
        ExpectNothingOutside();
        for (const fs::path& destination : {FFolders.Received(), FFolders.Chosen()}) {
            if (!fs::exists(destination)) continue;
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(destination)) {
                if (entry.is_directory()) continue;
                const auto kept = FKept.find(Local(entry.path()));
                if (!entry.is_regular_file() || kept == FKept.end())
                    Fail("a destination holds something that was not received whole");
                const std::string bytes = Contents(entry.path());
                Md5 md5;
                md5.Add(bytes.data(), bytes.size());
                if (md5.Finish() != kept->second) Fail("a received file differs from what its sender announced");
            }
            fs::remove_all(destination);
        }
        if (Listing(FFolders.Outbox()) != FFolders.Offered) Fail("the files offered for sending changed");
    }

private:
    void AddPeer(const QString& id) { FRtc.AddPeer(id, FRtc.FindEndPoint())->Alive = true; }

    void ExpectNothingOutside() const {
        ExpectOnly(FFolders.Root, {FFolders.Outbox(), FFolders.Around()});
        ExpectOnly(FFolders.Around(), {FFolders.Inside()});
        ExpectOnly(FFolders.Inside(), {FFolders.Received(), FFolders.Chosen()});
    }

    // A length byte and as many bytes; 255: the rest of the input.
    static QByteArray Message(fuzz::InputReader& input) {
        const std::uint8_t length = input.Byte();
        const std::string_view bytes = length == 255 ? input.Rest() : input.Take(length);
        return QByteArray(bytes.data(), qsizetype(bytes.size()));
    }

    // As the program takes a message: only from a peer the component still
    // knows (a call the transfer ended has no sender any more).
    void Receive(const QString& senderId, const QByteArray& message) {
        const std::shared_ptr<TPeer> sender = FRtc.FindPeer(senderId);
        if (!sender) return;
        Collect();
        const bool wasIdle = FSide.mode == TTransferMode::Idle;
        FSide.Receive(*sender, message);
        if (!wasIdle || FSide.mode != TTransferMode::Receiving) return;
        // A header was taken: where its file goes, and what it must hold.
        const auto header = ParseFileHeader(QString::fromUtf8(message));
        if (!header) Fail("a transfer began on a header its parser refuses");
        FReceiving = {senderId, FSide.transfer->DestinationRoot() + u'/' + header->Path.join(u'/'), header->Digest};
    }

    // A connection ends: the component forgets the peer, the transfer hears it.
    void EndCall(const QString& id) {
        FRtc.EndCall(id);
        FSide.transfer->PeerEnded(id);
    }

    void Click(std::uint8_t which) {
        switch (which % 4) {
            case 0: FSide.transfer->SendFileClick(); break;
            case 1: FSide.transfer->ReceiveFileClick(); break;
            case 2: FSide.transfer->AbortClick(); break;
            case 3: FSide.transfer->PrintJob(); break;
        }
    }

    // The worker's jobs, their results and the armed timers, until none is left.
    void Settle() {
        for (int round = 0; round < 1000; ++round) {
            bool worked = false;
            while (fuzz::RunWorkerJob()) worked = true;
            const auto before = std::pair(fuzz::DeliveriesRun(), FSide.calls.size());
            QCoreApplication::sendPostedEvents();
            if (!worked && before == std::pair(fuzz::DeliveriesRun(), FSide.calls.size())) return;
        }
        Fail("the transfer keeps itself busy without a message from outside");
    }

    // What this side sent: a COMPLETE keeps the file it answers.
    void Collect() {
        for (const std::string& line : FRtc.TakeData())
            if (!FReceiving.Sender.isEmpty() && line == FReceiving.Sender.toStdString() + ": " + words::Complete)
                FKept[FReceiving.Path] = FReceiving.Digest;
    }

    struct Receiving {
        QString Sender;
        QString Path;
        QString Digest;
    };

    const Folders& FFolders;
    testing::RecordingRtc FRtc;
    testing::TransferSide FSide;
    Receiving FReceiving;
    // Files answered COMPLETE, by local path, with their announced digests.
    std::map<QString, QString> FKept;
};

}  // namespace
}  // namespace corvala

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    corvala::fuzz::QuietQtLogging();
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    static const Folders folders;
    fuzz::InputReader input(data, size);
    const std::uint8_t kind = input.Byte();
    if (kind % 2 == 0) {
        const std::string_view text = input.Rest();
        FuzzParsers(QString::fromUtf8(text.data(), qsizetype(text.size())));
        return 0;
    }
    Session session(folders, kind & 2);
    while (!input.Empty()) session.Step(input);
    session.End();
    return 0;
}
