#pragma once
// The "Wake Remote PC" window: the host, port and MAC of one remote ID, the
// magic packet on "Wake Up!" and then three minutes of progress before the
// connection is attempted (Tag 1). Cancel or closing it ends the wait and no
// connection follows.

#include "features/WakeOnLan.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace corvala {

class TfrmWake : public QDialog {
    Q_OBJECT
public:
    // The wait, in steps of one second.
    static constexpr int WaitSteps = 180;

    // `tablePath`: where the table is saved on "Wake Up!"; `openManual`
    // opens the page the link names.
    TfrmWake(WakeTable& table, QString tablePath, IDatagramSender& sender,
             std::function<void()> openManual, QWidget* parent = nullptr);

    // Fills the window for the text the connection dialog holds.
    void DataToControls(const QString& text);
    // Shows the window modally; the result Tag (1 when the wait ran out).
    int Execute();

    void WakeUpClick();
    int Tag = 0;
    const QString& RemoteID() const { return FRemoteID; }
    // The progress timer, so that a test can run the wait out.
    QTimer& ProgressTimer() { return FProgress; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateWakeButton();
    void ProgressTick();

    WakeTable& FTable;
    QString FTablePath;
    IDatagramSender& FSender;
    std::function<void()> FOpenManual;
    QString FRemoteID;
    QTimer FProgress;

    QLabel* lblHost;
    QLineEdit* edtHost;
    QLabel* lblPort;
    QLineEdit* edtPort;
    QLabel* lblMac;
    QLineEdit* edtMac;
    QLabel* lblLearn;
    QProgressBar* pbWait;
    QWidget* panBottom;
    QPushButton* btnWakeUp;
    QPushButton* btnCancel;
};

}  // namespace corvala
