#include "transfer/FileTransfer.h"

#include "base/Log.h"
#include "i18n/Translator.h"
#include "transfer/RecordPipeline.h"
#include "transfer/TransferFiles.h"

#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>

namespace corvala {

using namespace transfer;

namespace {

namespace transfer_texts {
constexpr char Caption[] = "File Transfer";
constexpr char Sending[] = "Sending file %s";
constexpr char Receiving[] = "Receiving file:";
constexpr char FileCorrupted[] = "Transfer of file %s is corrupted. Please try again later.";
constexpr char Unable[] = "Unable to transfer the file %s.";
}  // namespace transfer_texts

// How often the window's progress line changes at most, besides every new per cent.
constexpr std::int64_t ShowEveryMs = 250;

bool Is(const QString& text, const char* word) { return text == QLatin1StringView(word); }

// "KEYWORD" + at least one character.
bool HasArgument(const QString& text, const char* word) {
    const QLatin1StringView keyword(word);
    return text.size() > keyword.size() && text.startsWith(keyword);
}

QString NameOf(const QString& path) { return path.mid(path.lastIndexOf(u'/') + 1); }

std::int64_t SteadyMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed() + 1;  // never 0, which means "not watched"
}

}  // namespace

struct FileTransfer::Batch {
    QString PeerId;
    TransferPlan Plan;
    std::size_t NextFile = 0;
};

FileTransfer::FileTransfer(IRtcClientPort& rtc, PeerMessenger& messenger, ITransferEvents& events,
                           TransferConfig config)
    : FRtc(rtc), FMessenger(messenger), FEvents(events), FConfig(std::move(config)) {}

FileTransfer::~FileTransfer() {
    if (FCancel) FCancel->store(true);
    if (Mode() == TTransferMode::Receiving && FDestination)
        FWorker.Post([destination = FDestination] { destination->Discard(); });
    SetMode(TTransferMode::Idle);
    // The worker member ends next: it runs what is posted, the removal too.
}

std::int64_t FileTransfer::Now() const { return FConfig.Clock ? FConfig.Clock() : SteadyMs(); }

bool FileTransfer::Busy() const { return Mode() != TTransferMode::Idle || FBatch || FPlanning || FVerifying; }

QString FileTransfer::DestinationRoot() const {
    return strDestinationDirectory.isEmpty() ? FConfig.ReceivedFilesFolder : strDestinationDirectory;
}

void FileTransfer::Refuse(const TPeer& sender, const QString& what, const QString& why, bool replyAbort) {
    qCWarning(lcTransfer).noquote() << "refused" << what.left(80) << "from" << sender.Id() << "-" << why;
    if (replyAbort) FMessenger.SendDataToPeer(sender, QString::fromLatin1(words::Abort));
}

// ---- the user's actions ------------------------------------------------------

void FileTransfer::SendFileClick() {
    const auto peer = FRtc.FindPeer(FRtc.CurrentViewingPeerID());
    if (!peer || Busy()) return;
    if (peer->DemonstrationMode) {
        FEvents.ShowTransferMessage(MessageKind::Warning, translate(control_texts::DemonstrationRejects));
        return;
    }
    SelectDirsAndFilesTick();
}

void FileTransfer::ReceiveFileClick() {
    const auto peer = FRtc.FindPeer(FRtc.CurrentViewingPeerID());
    if (!peer || Busy()) return;
    if (peer->DemonstrationMode) {
        FEvents.ShowTransferMessage(MessageKind::Warning, translate(control_texts::DemonstrationRejects));
        return;
    }
    FSelectDirExpectedFrom = peer->FId;
    FMessenger.SendMessageToPeer(peer->FId, QString::fromLatin1(words::GetFile));
}

void FileTransfer::AbortClick() {
    FAbortRequested = true;
    ShowState(true);
}

void FileTransfer::PrintJob() {
    if (Busy()) {
        qCWarning(lcTransfer) << "printed document not sent: a transfer runs";
        return;
    }
    const QString path = FConfig.ReceivedFilesFolder + u'/' + QLatin1StringView(PrinterDocumentName);
    // Only the document itself: a link there could name any file of this user.
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        qCWarning(lcTransfer) << "printed document not sent:" << path << "is not a regular file";
        return;
    }
    if (FRtc.CurrentViewingPeerID().isEmpty()) {
        const QStringList peers = FRtc.PeerIds();
        if (peers.isEmpty()) {
            qCWarning(lcTransfer) << "printed document not sent: no peer is connected";
            return;
        }
        FRtc.SetCurrentViewingPeerID(peers.first());
    }
    SelectedFilesAndDirs = {path};
    FNextBatchPeer = FRtc.CurrentViewingPeerID();
    FEvents.ArmTimer(TransferTimer::StartFileTransfer);
}

bool FileTransfer::OfferFile(const QString& path, const QString& peerId) {
    const bool known = bool(FRtc.FindPeer(peerId));
    if (!known || Busy() || FInChooser) {
        qCWarning(lcTransfer) << path << "not offered to" << peerId
                              << (known ? "while a transfer or a chooser is under way" : ": no such peer");
        return false;
    }
    Offer({path}, peerId);
    return true;
}

void FileTransfer::Offer(const QStringList& files, const QString& peerId) {
    SelectedFilesAndDirs = files;
    FSelectedFor = peerId;
    FMessenger.SendMessageToPeer(peerId, QString::fromLatin1(words::SelectDir));
}

// ---- the timers ---------------------------------------------------------------

void FileTransfer::SelectDirsAndFilesTick() {
    if (processState().EventsSuspended || FInChooser || Busy()) return;
    const QString peerId = FRtc.CurrentViewingPeerID();
    if (peerId.isEmpty()) return;
    FInChooser = true;
    const std::optional<QStringList> chosen = FEvents.ChooseFilesAndFolders();
    FInChooser = false;
    if (!chosen || chosen->isEmpty()) return;
    Offer(*chosen, peerId);
}

void FileTransfer::SelectDirectoryTick() {
    if (processState().EventsSuspended || FInChooser || Busy()) return;
    const QString peerId = std::exchange(FDirSelectedFor, QString());
    if (peerId.isEmpty() || !FRtc.FindPeer(peerId)) return;
    FInChooser = true;
    const std::optional<QString> chosen = FEvents.ChooseDestinationFolder(strDestinationDirectory);
    FInChooser = false;
    if (!chosen) return;
    strDestinationDirectory = *chosen;
    if (!ActsAsHost()) FConsentFrom = peerId;
    FMessenger.SendMessageToPeer(peerId, QString::fromLatin1(words::DirSelected));
}

void FileTransfer::StartFileTransferTick() {
    if (processState().EventsSuspended || Busy() || SelectedFilesAndDirs.isEmpty()) return;
    QString peerId = std::exchange(FNextBatchPeer, QString());
    if (peerId.isEmpty()) peerId = FRtc.CurrentViewingPeerID();
    if (!FRtc.FindPeer(peerId)) return;
    FAbortRequested = false;
    FTransferCorrupted = false;
    FBatch = std::make_unique<Batch>();
    FBatch->PeerId = peerId;
    FPlanning = true;
    const std::uint64_t serial = ++FSerial;
    FWorker.Post([this, serial, selected = SelectedFilesAndDirs] {
        TransferPlan plan = PlanBatch(selected);
        FWorker.Deliver([this, serial, plan = std::move(plan)]() mutable { BatchPlanned(serial, std::move(plan)); });
    });
}

void FileTransfer::TransferFormShowTick() {
    if (Mode() != TTransferMode::Idle && !FEvents.TransferWindowShowing())
        FEvents.ShowTransferWindow(FEvents.MasterMode());
}

void FileTransfer::TimeoutTick() {
    if (Mode() == TTransferMode::Idle || FLastTransferActivity == 0) return;
    const int limit = FTransferTimeoutSeconds + (FEvents.MasterMode() ? ViewerExtraSeconds : 0);
    const std::int64_t idleSeconds = (Now() - FLastTransferActivity) / 1000;
    if (idleSeconds <= limit) return;
    qCWarning(lcTransfer).noquote() << "transfer of" << FTransferFilePath << "with" << FPeerId
                                    << "given up: no progress for" << idleSeconds << "s";
    GiveUpStalled();
}

void FileTransfer::GiveUpStalled() {
    const QString peerId = FPeerId;
    FAbortRequested = true;
    if (Mode() == TTransferMode::Receiving) {
        FailReceive("no progress", nullptr);
    } else {
        FinishFile();
        EndBatch();
    }
    if (FEvents.MasterMode()) {
        if (const auto peer = FRtc.FindPeer(peerId)) peer->Alive = false;
        FEvents.UpdateAliveButton();
        FEvents.ShowTransferMessage(MessageKind::Error, FormatText(translate(transfer_texts::Unable), {FTransferFilePath}));
    } else {
        FRtc.EndCall(peerId);
        FEvents.CallEndedByTransfer();
    }
}

// ---- the data channel ------------------------------------------------------------

bool FileTransfer::HandleMessage(TPeer& sender, const QString& text, const QByteArray& raw) {
    switch (Mode()) {
        case TTransferMode::Receiving: HandleRecord(sender, raw); return true;
        case TTransferMode::Sending: HandleReply(sender, text); return true;
        case TTransferMode::Idle: break;
    }
    return HandleRequest(sender, text);
}

bool FileTransfer::HandleRequest(TPeer& sender, const QString& text) {
    if (text.startsWith(QLatin1StringView(words::SelectDir))) {
        SelectDirReceived(sender);
    } else if (text.startsWith(QLatin1StringView(words::DirSelected))) {
        DirSelectedReceived(sender);
    } else if (text.startsWith(QLatin1StringView(words::GetFile))) {
        GetFileReceived(sender);
    } else if (HasArgument(text, words::Directory)) {
        DirectoryReceived(sender, text);
    } else if (text.startsWith(QLatin1StringView(words::File))) {
        FileHeaderReceived(sender, text);
    } else {
        return false;
    }
    return true;
}

// A refused request changes nothing; an accepted one on a host makes its
// sender the peer every reply goes to.
void FileTransfer::SelectDirReceived(TPeer& sender) {
    // A host cannot put a chooser in front of a viewer that asked it nothing.
    if (!ActsAsHost() && FSelectDirExpectedFrom != sender.FId)
        return Refuse(sender, words::SelectDir, "this viewer asked it for no files", false);
    if (Busy()) return Refuse(sender, words::SelectDir, "a transfer runs", false);
    if (ActsAsHost()) FRtc.SetCurrentViewingPeerID(sender.FId);
    FSelectDirExpectedFrom.clear();
    FDirSelectedFor = sender.FId;
    FEvents.ArmTimer(TransferTimer::SelectDirectory);
}

void FileTransfer::DirSelectedReceived(TPeer& sender) {
    if (FSelectedFor != sender.FId || SelectedFilesAndDirs.isEmpty())
        return Refuse(sender, words::DirSelected, "nothing was offered to it", false);
    if (Busy()) return Refuse(sender, words::DirSelected, "a transfer runs", false);
    if (ActsAsHost()) FRtc.SetCurrentViewingPeerID(sender.FId);
    FSelectedFor.clear();
    FNextBatchPeer = sender.FId;
    FEvents.ArmTimer(TransferTimer::StartFileTransfer);
}

void FileTransfer::GetFileReceived(TPeer& sender) {
    if (!ActsAsHost()) return Refuse(sender, words::GetFile, "a viewer offers no files to its hosts", false);
    if (Busy()) return Refuse(sender, words::GetFile, "a transfer runs", false);
    FRtc.SetCurrentViewingPeerID(sender.FId);
    FEvents.ArmTimer(TransferTimer::SelectDirsAndFiles);
}

void FileTransfer::DirectoryReceived(TPeer& sender, const QString& text) {
    if (!ActsAsHost() && FConsentFrom != sender.FId)
        return Refuse(sender, text, "no destination was chosen for it", false);
    if (Busy()) return Refuse(sender, text, "a transfer runs", false);
    QString why;
    const auto names = ParseRelativePath(text.mid(QLatin1StringView(words::Directory).size()), &why);
    if (!names) return Refuse(sender, text, why, false);
    if (ActsAsHost()) FRtc.SetCurrentViewingPeerID(sender.FId);
    FOpenDocsFrom = sender.FId;
    FWorker.Post([root = DestinationRoot().toStdString(), names = *names, peer = sender.FId] {
        std::string error;
        if (!DestinationFolder(root).CreateFolders(names, &error))
            qCWarning(lcTransfer).noquote() << "folder from" << peer << "not made:" << QString::fromStdString(error);
    });
}

void FileTransfer::FileHeaderReceived(TPeer& sender, const QString& text) {
    if (Busy()) return Refuse(sender, text, "a transfer runs", true);
    QString why;
    const auto header = ParseFileHeader(text, &why);
    if (!header) return Refuse(sender, text, why, true);
    const bool printed = header->Path == QStringList{QLatin1StringView(PrinterDocumentName)};
    if (!ActsAsHost() && FConsentFrom != sender.FId && !printed)
        return Refuse(sender, text, "no destination was chosen for it", true);
    if (ActsAsHost()) FRtc.SetCurrentViewingPeerID(sender.FId);

    if (printed) strDestinationDirectory = FConfig.ReceivedFilesFolder;
    FPeerId = sender.FId;
    FAbortRequested = false;
    FTransferCorrupted = false;
    FTransferTimeoutSeconds = DataTimeoutSeconds;
    FFileSize = header->Size;
    FTransferred = 0;
    FExpectedDigest = header->Digest;
    FTransferFilePath = DestinationRoot() + u'/' + header->Path.join(u'/');
    FWriteBehind = std::make_shared<WriteBehind>();
    FRecordExpected = false;
    SetMode(TTransferMode::Receiving);
    FLastTransferActivity = Now();
    const std::uint64_t serial = ++FSerial;
    FDestination = std::make_shared<DestinationFile>();
    FWorker.Post(
        [this, serial, destination = FDestination, root = DestinationRoot().toStdString(), names = header->Path] {
            std::string error;
            const bool ok = destination->Create(DestinationFolder(root), names, &error);
            FWorker.Deliver([this, serial, ok, error] { DestinationOpened(serial, ok, error); });
        });
}

void FileTransfer::OpenDocsDir(TPeer& sender) {
    if (FOpenDocsFrom.isEmpty() || FOpenDocsFrom != sender.FId) {
        qCWarning(lcTransfer) << "refused \"OPENDOCSDIR\" from" << sender.Id() << "- it delivered nothing here";
        return;
    }
    FOpenDocsFrom.clear();
    FConsentFrom.clear();
    FEvents.OpenFolder(DestinationRoot());
}

void FileTransfer::PeerEnded(const QString& peerId) {
    for (QString* agreed :
         {&FSelectDirExpectedFrom, &FDirSelectedFor, &FSelectedFor, &FNextBatchPeer, &FConsentFrom, &FOpenDocsFrom})
        if (*agreed == peerId) agreed->clear();
    const bool ours = (FBatch && FBatch->PeerId == peerId) || (Mode() != TTransferMode::Idle && FPeerId == peerId) ||
                      (FVerifying && FPeerId == peerId);
    if (!ours) return;
    qCWarning(lcTransfer).noquote() << "transfer with" << peerId << "ends: the connection ended";
    FAbortRequested = true;
    if (Mode() == TTransferMode::Receiving || FVerifying)
        FailReceive("the connection ended", nullptr);
    else
        FinishFile();
    EndBatch();
}

// ---- sending ------------------------------------------------------------------------

void FileTransfer::BatchPlanned(std::uint64_t serial, TransferPlan plan) {
    if (serial != FSerial || !FBatch) return;
    FPlanning = false;
    if (!plan.LeftOut.isEmpty())
        qCWarning(lcTransfer).noquote() << "left out of the batch, their names cannot travel:"
                                        << plan.LeftOut.mid(0, 10).join(", ");
    FBatch->Plan = std::move(plan);
    NextFile();
}

void FileTransfer::NextFile() {
    if (!FBatch) return;
    if (FAbortRequested || FTransferCorrupted) return EndBatch();
    const TransferPlan& plan = FBatch->Plan;
    if (FBatch->NextFile < plan.Files.size()) return SendFile(plan.Files[FBatch->NextFile++]);
    // Folders after all files, so that empty ones arrive too.
    for (const QStringList& folder : plan.Folders)
        FMessenger.SendMessageToPeer(FBatch->PeerId, QLatin1StringView(words::Directory) + ToWirePath(folder));
    FMessenger.SendMessageToPeer(FBatch->PeerId, QString::fromLatin1(words::OpenDocsDir));
    EndBatch();
}

void FileTransfer::SendFile(const PlannedFile& file) {
    FPeerId = FBatch->PeerId;
    FTransferFilePath = file.FullPath;
    FTransferred = 0;
    FFileSize = 0;
    FEndSent = false;
    FAckWaiting = false;
    const std::uint64_t serial = ++FSerial;
    FCancel = std::make_shared<std::atomic<bool>>(false);
    FSource = std::make_shared<SourceFile>();
    FDigesting = true;
    FEvents.SetBusyCursor(true);
    FWorker.Post([this, serial, source = FSource, cancel = FCancel, path = file.FullPath.toStdString()] {
        std::string error;
        const auto digest = source->Open(path, *cancel, &error);
        FWorker.Deliver([this, serial, digest, error] {
            FilePrepared(serial, digest ? std::optional(digest->Digest) : std::nullopt, digest ? digest->Size : 0,
                         error);
        });
    });
}

void FileTransfer::FilePrepared(std::uint64_t serial, const std::optional<QString>& digest, std::int64_t size,
                                const std::string& error) {
    if (serial != FSerial || !FBatch) return;
    FDigesting = false;
    FEvents.SetBusyCursor(false);
    const auto peer = FRtc.FindPeer(FBatch->PeerId);
    if (!digest || !peer) {
        qCWarning(lcTransfer).noquote() << "batch to" << FBatch->PeerId << "stops at" << FTransferFilePath << "-"
                                        << (peer ? QString::fromStdString(error) : "the peer is gone");
        if (peer)
            FEvents.ShowTransferMessage(MessageKind::Error, FormatText(translate(transfer_texts::Unable), {FTransferFilePath}));
        FAbortRequested = true;
        return EndBatch();
    }
    FFileSize = size;
    FTransferTimeoutSeconds = DataTimeoutSeconds;
    FLastTransferActivity = Now();
    FFileStarted = FLastTransferActivity;
    const PlannedFile& file = FBatch->Plan.Files[FBatch->NextFile - 1];
    FMessenger.SendMessageToPeer(peer->FId, MakeFileHeader(size, *digest, file.Names));
    SetMode(TTransferMode::Sending);
    ShowState(true);
    if (!FEvents.TransferWindowShowing()) FEvents.ShowTransferWindow(true);
    FReadAhead = std::make_shared<ReadAhead>(size);
    ReadMore();
}

void FileTransfer::HandleReply(TPeer& sender, const QString& text) {
    if (sender.FId != FPeerId) {
        qCDebug(lcTransfer) << "dropped" << text.left(16) << "from" << sender.Id() << "while sending to" << FPeerId;
        return;
    }
    if (Is(text, words::Ack)) return AckReceived();
    // A verdict may also come before the end record: a last record that
    // looks like it ends the file early.
    if (Is(text, words::Complete)) {
        FinishFile();
        return NextFile();
    }
    if (Is(text, words::Corrupted)) {
        FTransferCorrupted = true;
        FinishFile();
        FEvents.ShowTransferMessage(MessageKind::Error, FormatText(translate(transfer_texts::FileCorrupted), {FTransferFilePath}));
        return EndBatch();
    }
    if (Is(text, words::Abort)) {
        qCInfo(lcTransfer).noquote() << FPeerId << "aborted the transfer of" << FTransferFilePath;
        FAbortRequested = true;
        FinishFile();
        return EndBatch();
    }
    qCDebug(lcTransfer) << "dropped" << text.left(16) << "from" << sender.Id() << "while sending";
}

void FileTransfer::AckReceived() {
    if (FAckWaiting || FEndSent) {
        qCWarning(lcTransfer) << "dropped a \"D\" from" << FPeerId << "that answers nothing";
        return;
    }
    FLastTransferActivity = Now();
    if (FAbortRequested) return AbortSending({});
    if (FTransferred == FFileSize) {
        FSource.reset();
        FEndSent = true;
        if (const auto peer = FRtc.FindPeer(FPeerId)) FMessenger.SendFileDataToPeer(*peer, EndOfFileRecord);
        // The receiver now checks the whole file.
        FTransferTimeoutSeconds = VerdictTimeoutSeconds;
        return ShowState(true);
    }
    SendNextRecord();
}

void FileTransfer::ReadMore() {
    // Named copies, not a structured binding: a lambda may capture bindings
    // only from clang 16 on, and the fuzz build uses an older clang.
    for (const auto& read : FReadAhead->NextReads()) {
        FWorker.Post([this, serial = FSerial, source = FSource, readAhead = FReadAhead, offset = read.first,
                      count = read.second] {
            std::string error;
            if (readAhead->Done(source->Read(offset, count, &error), error))
                FWorker.Deliver([this, serial] {
                    // The "D" that waited gets its record now.
                    if (serial == FSerial && std::exchange(FAckWaiting, false)) SendNextRecord();
                });
        });
    }
    NoteBuffered();
}

void FileTransfer::SendNextRecord() {
    QByteArray record;
    std::string error;
    switch (FReadAhead->Take(record, error)) {
        case ReadAhead::Next::Wait: FAckWaiting = true; return;
        case ReadAhead::Next::Failed: return AbortSending(error);
        case ReadAhead::Next::Record: break;
    }
    FTransferred += record.size();
    if (const auto peer = FRtc.FindPeer(FPeerId)) FMessenger.SendFileDataToPeer(*peer, record);
    ShowState(false);
    ReadMore();
}

void FileTransfer::AbortSending(const std::string& error) {
    if (!error.empty()) {
        qCWarning(lcTransfer).noquote() << "sending" << FTransferFilePath << "stops:" << QString::fromStdString(error);
        FEvents.ShowTransferMessage(MessageKind::Error, FormatText(translate(transfer_texts::Unable), {FTransferFilePath}));
    }
    FAbortRequested = true;
    const auto peer = FRtc.FindPeer(FPeerId);
    FinishFile();
    if (peer) FMessenger.SendFileDataToPeer(*peer, AbortRecord);
    EndBatch();
}

void FileTransfer::EndBatch() {
    if (FDigesting) {
        FDigesting = false;
        FEvents.SetBusyCursor(false);
    }
    if (FCancel) FCancel->store(true);
    const bool hadBatch = FBatch != nullptr;
    FBatch.reset();
    FPlanning = false;
    FAbortRequested = false;
    FTransferCorrupted = false;
    if (hadBatch && FEvents.TransferWindowShowing()) FEvents.CloseTransferWindow();
}

// ---- receiving -------------------------------------------------------------------------

void FileTransfer::DestinationOpened(std::uint64_t serial, bool ok, const std::string& error) {
    if (serial != FSerial) return;
    if (!ok) {
        FailReceive(QString::fromStdString(error), words::Abort);
        if (FEvents.MasterMode())
            FEvents.ShowTransferMessage(MessageKind::Error, FormatText(translate(transfer_texts::Unable), {FTransferFilePath}));
        return;
    }
    FLastTransferActivity = Now();
    FFileStarted = FLastTransferActivity;
    SendAck();
    ShowState(true);
    FEvents.ArmTimer(TransferTimer::TransferFormShow);
}

void FileTransfer::HandleRecord(TPeer& sender, const QByteArray& record) {
    if (sender.FId != FPeerId) {
        qCWarning(lcTransfer) << "dropped" << record.size() << "bytes from" << sender.Id() << "while receiving from"
                              << FPeerId;
        return;
    }
    if (!FRecordExpected) return FailReceive("a record came before it was asked for", words::Abort);
    FRecordExpected = false;
    if (record == AbortRecord) {
        qCInfo(lcTransfer).noquote() << FPeerId << "aborted sending" << FTransferFilePath;
        FAbortRequested = true;
        return FailReceive("the sender aborted", nullptr);
    }
    if (record == EndOfFileRecord) {
        // Checking a large file must not count as a stall.
        FLastTransferActivity = 0;
        FVerifying = true;
        FWorker.Post([this, serial = FSerial, destination = FDestination] {
            std::string error;
            const auto digest = destination->Finish(&error);
            FWorker.Deliver([this, serial, digest, error] { Verified(serial, digest, error); });
        });
        return;
    }
    if (FAbortRequested) return FailReceive("aborted here", words::Abort);
    if (const std::string failure = FWriteBehind->Failure(); !failure.empty())
        return FailReceive(QString::fromStdString(failure), words::Abort);
    if (record.isEmpty() || record.size() > MaxRecordBytes || record.size() > FFileSize - FTransferred)
        return FailReceive(
            QString("a record of %1 bytes where %2 remain").arg(record.size()).arg(FFileSize - FTransferred),
            words::Abort);
    FTransferred += record.size();
    FLastTransferActivity = Now();
    // Written behind: the next record may come while a few still wait.
    const bool ackNow = FWriteBehind->Queued(record.size());
    FWorker.Post([this, serial = FSerial, destination = FDestination, writeBehind = FWriteBehind, record] {
        std::string error;
        const bool ok = destination->Write(record, &error);
        if (writeBehind->Written(record.size(), ok, error)) FWorker.Deliver([this, serial] { WriteNoticed(serial); });
    });
    NoteBuffered();
    ShowState(false);
    if (ackNow) SendAck();
}

void FileTransfer::WriteNoticed(std::uint64_t serial) {
    if (serial != FSerial) return;
    const std::string failure = FWriteBehind->Failure();
    if (!failure.empty()) return FailReceive(QString::fromStdString(failure), words::Abort);
    SendAck();
}

void FileTransfer::Verified(std::uint64_t serial, const std::optional<QString>& digest, const std::string& error) {
    if (serial != FSerial) return;
    FVerifying = false;
    if (!digest) return FailReceive(QString::fromStdString(error), words::Abort);
    if (*digest == FExpectedDigest && FTransferred == FFileSize) {
        SendToTransferPeer(words::Complete);
        FOpenDocsFrom = FPeerId;
        return FinishFile();
    }
    qCWarning(lcTransfer).noquote() << FTransferFilePath << "from" << FPeerId << "is corrupted: digest" << *digest
                                    << "instead of" << FExpectedDigest;
    SendToTransferPeer(words::Corrupted);
    FWorker.Post([destination = FDestination] { destination->Discard(); });
    FTransferCorrupted = true;
    FConsentFrom.clear();
    FinishFile();
    if (FEvents.MasterMode())
        FEvents.ShowTransferMessage(MessageKind::Error, FormatText(translate(transfer_texts::FileCorrupted), {FTransferFilePath}));
}

void FileTransfer::SendToTransferPeer(const char* word) {
    if (const auto peer = FRtc.FindPeer(FPeerId)) FMessenger.SendDataToPeer(*peer, QString::fromLatin1(word));
}

void FileTransfer::SendAck() {
    FRecordExpected = true;
    SendToTransferPeer(words::Ack);
}

void FileTransfer::FailReceive(const QString& why, const char* reply) {
    qCWarning(lcTransfer).noquote() << "receiving" << FTransferFilePath << "from" << FPeerId << "ends:" << why;
    if (reply) SendToTransferPeer(reply);
    FWorker.Post([destination = FDestination] { destination->Discard(); });
    FVerifying = false;
    FConsentFrom.clear();
    FOpenDocsFrom.clear();
    FinishFile();
}

// ---- both -------------------------------------------------------------------------------

void FileTransfer::FinishFile() {
    const bool receiving = Mode() == TTransferMode::Receiving;
    SetMode(TTransferMode::Idle);
    ++FSerial;
    FLastTransferActivity = 0;
    FSource.reset();
    FReadAhead.reset();
    FAckWaiting = false;
    FRecordExpected = false;
    FWriteBehind.reset();
    // The sending side keeps its window for the whole batch.
    if (receiving && FEvents.TransferWindowShowing()) FEvents.CloseTransferWindow();
}

void FileTransfer::ShowState(bool force) {
    const std::int64_t now = Now();
    const std::optional<int> percent = ProgressPercent(FTransferred, FFileSize);
    if (!force && percent == FShownPercent && now - FLastShown < ShowEveryMs) return;
    FShownPercent = percent;
    FLastShown = now;
    TransferWindowState state;
    state.Caption = translate(transfer_texts::Caption);
    const bool receiving = Mode() == TTransferMode::Receiving;
    state.Receiving = receiving;
    state.Status = receiving ? translate(transfer_texts::Receiving) + u' ' + NameOf(FTransferFilePath)
                             : FormatText(translate(transfer_texts::Sending), {NameOf(FTransferFilePath)});
    state.AbortEnabled = !FAbortRequested;
    state.Percent = percent;
    if (FFileSize > 0)
        state.ProgressLine =
            ProgressLine(FTransferred, FFileSize, RemainingSeconds(FTransferred, FFileSize, now - FFileStarted));
    FEvents.ShowTransferState(state);
}

void FileTransfer::NoteBuffered() {
    const std::int64_t buffered =
        (FReadAhead ? FReadAhead->BufferedBytes() : 0) + (FWriteBehind ? FWriteBehind->BufferedBytes() : 0);
    FPeakBuffered = std::max(FPeakBuffered, buffered);
}

}  // namespace corvala
