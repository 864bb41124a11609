#pragma once
// The transfer window ("File Transfer"): the status line, a line with the
// bytes, the per cent and the remaining time beside the Abort button, and
// the progress bar. The transfer fills it (transfer::TransferWindowState);
// Abort disables itself and asks the transfer to stop. The window has no
// caption buttons: it closes when the file or batch ends.

#include <QDialog>

#include "transfer/TransferProgress.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace corvala {

class TFormFileTransfer : public QDialog {
    Q_OBJECT
public:
    static constexpr int Width = 461;
    static constexpr int StatusHeight = 28;
    static constexpr int ButtonPanelHeight = 38;
    static constexpr int ProgressHeight = 17;

    explicit TFormFileTransfer(QWidget* parent = nullptr);

    // Shown modally (the other windows wait) or not; centred on the screen.
    void ShowTransfer(bool modal);
    void ShowState(const transfer::TransferWindowState& state);
    // The transfer ended.
    void CloseTransfer();

signals:
    void Abort();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* lblStatus;
    QWidget* panButtons;
    QLabel* lblProgress;
    QPushButton* btnAbort;
    QProgressBar* pbTransfer;
    bool FClosing = false;
};

}  // namespace corvala
