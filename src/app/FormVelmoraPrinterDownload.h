#pragma once
// The printer driver's download window: a status line, a progress bar and
// the Abort button, in the program's frame. Abort, Escape and the close cross
// all ask the download to stop (Abort()); the download closes the window
// when it ends.

#include "widgets/ThemedDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvala {

class TfrmVelmoraPrinterDownload : public TThemedDialog {
    Q_OBJECT
public:
    static constexpr int Width = 399;
    static constexpr int Height = 132;

    explicit TfrmVelmoraPrinterDownload(QWidget* parent = nullptr);

    // Shown modeless, centred, the bar at 0.
    void ShowDownload(const QString& caption, const QString& status);
    void SetProgress(int percent);
    int Progress() const;
    // The download ended.
    void CloseDownload();

signals:
    void Abort();

protected:
    void done(int result) override;

private:
    QLabel* lblStatus;
    QProgressBar* pbDownload;
    QPushButton* btnAbort;
    bool FClosing = false;
};

}  // namespace corvala
