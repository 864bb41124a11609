// The main window's part of the file transfer: the toolbar's items, the two
// choosers, the transfer window and the hourglass. The transfer itself is
// the core's (transfer/FileTransfer.h).

#include <QApplication>

#include "app/FormMainCR.h"
#include "core/AppCore.h"
#include "dialogs/FormDirChoose.h"
#include "dialogs/FormFileChoose.h"
#include "dialogs/FormFileTransfer.h"
#include "window/ViewerToolbar.h"

namespace corvala {

void TFormMainCR::ConnectTransferItems() {
    connect(pnlToolbar, &TViewerToolbar::SendFileClicked, this, [this] { FCore.Transfer().SendFileClick(); });
    connect(pnlToolbar, &TViewerToolbar::ReceiveFileClicked, this, [this] { FCore.Transfer().ReceiveFileClick(); });
}

std::optional<QStringList> TFormMainCR::ChooseFilesAndFolders() {
    if (!frmFileChoose) frmFileChoose = new TFormFileChoose(this);
    return frmFileChoose->Execute();
}

std::optional<QString> TFormMainCR::ChooseDestinationFolder(const QString& current) {
    if (!frmDirChoose) frmDirChoose = new TFormDirChoose(this);
    return frmDirChoose->Execute(current);
}

void TFormMainCR::SetBusyCursor(bool busy) {
    if (busy == FBusyCursor) return;
    FBusyCursor = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

TFormFileTransfer* TFormMainCR::TransferWindow() {
    if (!frmFileTransfer) {
        frmFileTransfer = new TFormFileTransfer(this);
        connect(frmFileTransfer, &TFormFileTransfer::Abort, this, [this] { FCore.Transfer().AbortClick(); });
    }
    return frmFileTransfer;
}

void TFormMainCR::ShowTransferWindow(bool modal) { TransferWindow()->ShowTransfer(modal); }

bool TFormMainCR::TransferWindowShowing() const { return frmFileTransfer && frmFileTransfer->isVisible(); }

void TFormMainCR::ShowTransferState(const transfer::TransferWindowState& state) { TransferWindow()->ShowState(state); }

void TFormMainCR::CloseTransferWindow() {
    if (frmFileTransfer) frmFileTransfer->CloseTransfer();
}

}  // namespace corvala
