#pragma once
// File transfer: the core's module that copies files and folder trees
// between a viewer and a host over the peer's data channel, in either
// direction, one file at a time, stop-and-wait (see TransferProtocol.h for
// the words and records).
//
// The side that owns the data chooses files and folders, the receiving side
// chooses a destination; the owner then sends each file as a FILE header,
// data records of at most 65,536 bytes each answered "D", and an end record,
// and the receiver answers "COMPLETE" or "CORRUPTED" after comparing digests.
// Folders follow as "DIRECTORY" messages, and a batch that went through ends
// with "OPENDOCSDIR", which opens the destination on the receiving side.
//
// Everything here runs on the main thread; file work (digests, reads,
// writes, removals) runs on the module's worker thread in order, so that a
// large file never freezes the windows. The module owns the transfer flag
// the gates read (processState().TransferMode in the program): while it is
// not Idle, input, chat, clipboard and cursor reports stay off the channel
// and every received message comes here.
//
// What a peer asks is checked before it is acted on: a viewer shows its
// folder chooser only for the host it asked for files, takes files only
// from the host it chose a destination for (or a printed document), and
// opens its destination only for the peer that just delivered there; a
// received path never leaves the destination; a record or reply from any
// other peer than the transfer's own is dropped.

#include "base/MessageKind.h"
#include "base/ProcessState.h"
#include "control/PeerMessenger.h"
#include "media/RtcClientPort.h"
#include "transfer/TransferPlan.h"
#include "transfer/TransferProgress.h"
#include "transfer/TransferProtocol.h"
#include "transfer/TransferWorker.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace corvala {

namespace transfer {
class SourceFile;
class DestinationFile;
class ReadAhead;
class WriteBehind;
}  // namespace transfer

// The core's one-shot timers the transfer arms; each runs the tick of the
// same name a moment later.
enum class TransferTimer { SelectDirectory, SelectDirsAndFiles, TransferFormShow, StartFileTransfer };

// What the transfer asks of the rest of the program; the core implements it
// and passes the window parts on to the view.
class ITransferEvents {
public:
    virtual bool MasterMode() const = 0;
    virtual void ArmTimer(TransferTimer timer) = 0;
    // The file chooser, modal: the chosen paths, nothing when cancelled.
    virtual std::optional<QStringList> ChooseFilesAndFolders() = 0;
    // The folder chooser, modal, with the destination chosen before (empty
    // for none): the chosen folder, nothing when cancelled.
    virtual std::optional<QString> ChooseDestinationFolder(const QString& current) = 0;
    // The hourglass while a file is digested before it is sent.
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void ShowTransferWindow(bool modal) = 0;
    virtual bool TransferWindowShowing() const = 0;
    virtual void ShowTransferState(const transfer::TransferWindowState& state) = 0;
    virtual void CloseTransferWindow() = 0;
    // A message box with a translated text.
    virtual void ShowTransferMessage(MessageKind kind, const QString& text) = 0;
    // The destination in the file manager.
    virtual void OpenFolder(const QString& path) = 0;
    virtual void UpdateAliveButton() = 0;
    // A host ended a call because its transfer stalled: caption and chat
    // recipients follow.
    virtual void CallEndedByTransfer() = 0;

protected:
    ~ITransferEvents() = default;
};

struct TransferConfig {
    // ReceivedFilesFolder: where received items go until a destination is chosen.
    QString ReceivedFilesFolder;
    // The flag the gates read; the module is the only writer.
    TTransferMode* Mode = nullptr;
    // Milliseconds of a monotonic clock; a steady clock when unset.
    std::function<std::int64_t()> Clock;
};

class FileTransfer {
public:
    FileTransfer(IRtcClientPort& rtc, PeerMessenger& messenger, ITransferEvents& events, TransferConfig config);
    // A file under way is given up; a partial file is removed before this returns.
    ~FileTransfer();
    FileTransfer(const FileTransfer&) = delete;
    FileTransfer& operator=(const FileTransfer&) = delete;

    // ---- The user's actions.
    // "Send File..." and "Receive File...": with a tab's peer, while nothing
    // is transferred; a peer in demonstration mode gets the warning instead.
    void SendFileClick();
    void ReceiveFileClick();
    // The transfer window's Abort: the transfer stops at its next record.
    void AbortClick();
    // A local process printed a document into the received-files folder
    // (PrintJobMessage): it goes to the viewed peer, or the first one.
    void PrintJob();
    // A file this side made for `peerId` (the host's screenshot): offered
    // with "SELECTDIR" as a chooser's pick would be; the peer chooses where
    // it goes. False, and logged, while a transfer runs or without the peer.
    bool OfferFile(const QString& path, const QString& peerId);
    // The viewer asked `peerId` for something it answers with a file (the
    // screenshot command): its "SELECTDIR" is taken as after "GETFILE".
    void ExpectOffer(const QString& peerId) { FSelectDirExpectedFrom = peerId; }

    // ---- The timers.
    void SelectDirsAndFilesTick();
    void SelectDirectoryTick();
    void StartFileTransferTick();
    void TransferFormShowTick();
    // TimerDataTimeout while a transfer runs: no progress for too long gives
    // the transfer up (and, on a host, the call).
    void TimeoutTick();

    // ---- The data channel (the dispatcher's transfer step): `text` is
    // empty while Receiving, where `raw` holds the record. True when the
    // message belonged to the transfer.
    bool HandleMessage(TPeer& sender, const QString& text, const QByteArray& raw);
    // "OPENDOCSDIR".
    void OpenDocsDir(TPeer& sender);
    // The connection to a peer ended: its transfer ends with it.
    void PeerEnded(const QString& peerId);

    // ---- State.
    TTransferMode Mode() const { return *FConfig.Mode; }
    // A batch, a file or its preparation is under way.
    bool Busy() const;
    // The chooser's list, in chooser order; the print job replaces it.
    QStringList SelectedFilesAndDirs;
    // The destination the folder chooser confirmed; empty: ReceivedFilesFolder.
    // Kept for the life of the process.
    QString strDestinationDirectory;
    QString DestinationRoot() const;
    // The most bytes of file data this side held at once (records read
    // ahead or waiting to be written).
    std::int64_t PeakBufferedBytes() const { return FPeakBuffered; }

private:
    struct Batch;

    std::int64_t Now() const;
    void SetMode(TTransferMode mode) { *FConfig.Mode = mode; }
    bool ActsAsHost() const { return !FEvents.MasterMode(); }
    // `files` become the selection offered to `peerId` ("SELECTDIR"); its
    // "DIRSELECTED" then starts the batch.
    void Offer(const QStringList& files, const QString& peerId);
    void Refuse(const TPeer& sender, const QString& what, const QString& why, bool replyAbort);

    // Requests while Idle.
    bool HandleRequest(TPeer& sender, const QString& text);
    void SelectDirReceived(TPeer& sender);
    void DirSelectedReceived(TPeer& sender);
    void GetFileReceived(TPeer& sender);
    void DirectoryReceived(TPeer& sender, const QString& text);
    void FileHeaderReceived(TPeer& sender, const QString& text);

    // Sending.
    void BatchPlanned(std::uint64_t serial, transfer::TransferPlan plan);
    void NextFile();
    void SendFile(const transfer::PlannedFile& file);
    void FilePrepared(std::uint64_t serial, const std::optional<QString>& digest, std::int64_t size,
                      const std::string& error);
    void HandleReply(TPeer& sender, const QString& text);
    void AckReceived();
    void ReadMore();
    void SendNextRecord();
    // The file cannot be sent on: the receiver hears the abort record.
    void AbortSending(const std::string& error);
    void EndBatch();

    // Receiving.
    void DestinationOpened(std::uint64_t serial, bool ok, const std::string& error);
    void HandleRecord(TPeer& sender, const QByteArray& record);
    void WriteNoticed(std::uint64_t serial);
    void Verified(std::uint64_t serial, const std::optional<QString>& digest, const std::string& error);
    void SendToTransferPeer(const char* word);
    void SendAck();
    // Ends the receive: the partial file removed, the peer told `reply` when given.
    void FailReceive(const QString& why, const char* reply);

    // DoOnFileTransferFinish: Idle, the file's pending work dropped, the
    // window closed (on the sending side at the end of the batch).
    void FinishFile();
    void ShowState(bool force);
    void NoteBuffered();
    void GiveUpStalled();

    IRtcClientPort& FRtc;
    PeerMessenger& FMessenger;
    ITransferEvents& FEvents;
    TransferConfig FConfig;

    // Agreements with peers (IDs), each used once.
    QString FSelectDirExpectedFrom;  // viewer: asked for files with "GETFILE"
    QString FDirSelectedFor;         // asked for a destination with "SELECTDIR"
    QString FSelectedFor;            // sent "SELECTDIR" with our choice
    QString FNextBatchPeer;          // said "DIRSELECTED": the batch goes there
    QString FConsentFrom;            // viewer: chose a destination for its files
    QString FOpenDocsFrom;           // delivered here since the last "OPENDOCSDIR"
    bool FInChooser = false;

    // The sending batch.
    std::unique_ptr<Batch> FBatch;
    bool FPlanning = false;

    // The current file, either direction.
    QString FPeerId;
    std::int64_t FFileSize = 0;
    std::int64_t FTransferred = 0;
    QString FTransferFilePath;
    QString FExpectedDigest;
    bool FAbortRequested = false;
    bool FTransferCorrupted = false;
    std::int64_t FLastTransferActivity = 0;  // 0: not watched
    int FTransferTimeoutSeconds = transfer::DataTimeoutSeconds;
    std::int64_t FFileStarted = 0;
    std::int64_t FLastShown = 0;
    std::optional<int> FShownPercent;
    // Results of work for an earlier file are recognised by this number.
    std::uint64_t FSerial = 0;
    std::shared_ptr<std::atomic<bool>> FCancel;
    bool FDigesting = false;

    // Sender's records, read ahead of the acknowledgements.
    std::shared_ptr<transfer::SourceFile> FSource;
    std::shared_ptr<transfer::ReadAhead> FReadAhead;
    bool FAckWaiting = false;  // a "D" waits for its record
    bool FEndSent = false;

    // Receiver's records, written behind the acknowledgements.
    std::shared_ptr<transfer::DestinationFile> FDestination;
    std::shared_ptr<transfer::WriteBehind> FWriteBehind;
    bool FRecordExpected = false;  // "D" went out, a record may come
    bool FVerifying = false;

    std::int64_t FPeakBuffered = 0;

    // Results of the worker arrive through this object's thread; the worker
    // is declared after it, so it ends first.
    QObject FContext;
    transfer::TransferWorker FWorker{&FContext};
};

}  // namespace corvala
