#pragma once
// One side of a transfer in a test: the module over a component's port,
// its own transfer flag, the dispatcher's transfer step in miniature, and
// a recording of what the module asked of the program. The choosers answer
// as the test sets them; armed timers run their tick at once when
// `runTimers` is set (a real timer only waits a second first).

#include <QCoreApplication>
#include <QTimer>

#include <memory>

#include "control/PeerMessenger.h"
#include "transfer/FileTransfer.h"

namespace corvala::testing {

class TransferSide : public ITransferEvents {
    IRtcClientPort& FRtc;
    PeerMessenger FMessenger;
    QString FReceived;

public:
    TransferSide(IRtcClientPort& rtc, QString received, bool master)
        : FRtc(rtc), FMessenger(rtc), FReceived(std::move(received)), master(master) {
        Make();
    }

    // A new module (the old one ends first), with the same clock.
    void Make() {
        transfer.reset();
        TransferConfig config;
        config.ReceivedFilesFolder = FReceived;
        config.Mode = &mode;
        config.Clock = [this] { return now; };
        transfer = std::make_unique<FileTransfer>(FRtc, FMessenger, *this, config);
    }

    // The dispatcher's transfer step: raw bytes while Receiving, text else.
    void Receive(TPeer& sender, const QByteArray& data) {
        if (deaf) return;
        const bool receiving = mode == TTransferMode::Receiving;
        const QString text = receiving ? QString() : QString::fromUtf8(data);
        if (text == QLatin1StringView(transfer::words::OpenDocsDir))
            transfer->OpenDocsDir(sender);
        else if (!transfer->HandleMessage(sender, text, receiving ? data : QByteArray()))
            unhandled << data;
    }

    bool Called(const QString& call) const { return calls.contains(call); }

    TTransferMode mode = TTransferMode::Idle;
    std::int64_t now = 1000;
    bool master;
    bool runTimers = false;
    bool deaf = false;  // received messages are lost
    std::optional<QStringList> files;
    std::optional<QString> destination;
    bool windowShowing = false;
    std::optional<transfer::TransferWindowState> state;
    QStringList calls;
    QList<QByteArray> unhandled;
    std::unique_ptr<FileTransfer> transfer;

    // ITransferEvents.
    bool MasterMode() const override { return master; }
    void ArmTimer(TransferTimer timer) override {
        calls << QString("ArmTimer %1").arg(int(timer));
        if (!runTimers) return;
        QTimer::singleShot(0, QCoreApplication::instance(), [this, timer] {
            switch (timer) {
                case TransferTimer::SelectDirectory: transfer->SelectDirectoryTick(); break;
                case TransferTimer::SelectDirsAndFiles: transfer->SelectDirsAndFilesTick(); break;
                case TransferTimer::TransferFormShow: transfer->TransferFormShowTick(); break;
                case TransferTimer::StartFileTransfer: transfer->StartFileTransferTick(); break;
            }
            calls << QString("Ran %1").arg(int(timer));
        });
    }
    std::optional<QStringList> ChooseFilesAndFolders() override {
        calls << "ChooseFilesAndFolders";
        return files;
    }
    std::optional<QString> ChooseDestinationFolder(const QString&) override {
        calls << "ChooseDestinationFolder";
        return destination;
    }
    void SetBusyCursor(bool) override {}
    void ShowTransferWindow(bool) override { windowShowing = true; }
    bool TransferWindowShowing() const override { return windowShowing; }
    void ShowTransferState(const transfer::TransferWindowState& shown) override { state = shown; }
    void CloseTransferWindow() override { windowShowing = false; }
    void ShowTransferMessage(MessageKind, const QString& text) override { calls << "Message " + text; }
    void OpenFolder(const QString& path) override { calls << "OpenFolder " + path; }
    void UpdateAliveButton() override { calls << "UpdateAliveButton"; }
    void CallEndedByTransfer() override { calls << "CallEndedByTransfer"; }
};

inline QString Armed(TransferTimer timer) { return QString("ArmTimer %1").arg(int(timer)); }
inline QString Ran(TransferTimer timer) { return QString("Ran %1").arg(int(timer)); }

}  // namespace corvala::testing
