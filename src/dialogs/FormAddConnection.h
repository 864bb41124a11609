#pragma once
// The "Add Connection" dialog: the viewer's user types or picks the remote ID,
// types the host's password and confirms. The dialog checks the text, keeps
// the history of recent IDs (RecentConnections) and leaves the request in its
// ID text and password; the connect action (session/SessionSetup.h) sends it.
//
// Side doors that belong to other features are hooks: the contacts book, the
// Wake-on-LAN window ("Wake Up PC && Connect...", disabled while unset) and
// the routing window behind the warning strip (a click does nothing while unset).

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QKeyEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace corvala {

class Settings;
class TWarningStrip;

class TFormAddConnection : public QDialog {
    Q_OBJECT
public:
    struct Contact {
        QString name;
        QString id;
        QString password;
    };

    explicit TFormAddConnection(Settings& settings, QWidget* parent = nullptr);

    // Texts to pre-fill at the next showing; emptied once used.
    QString strID;
    QString strPswd;
    // 0 when cancelled, 1 when a connection is to be made.
    int Tag = 0;

    // Whether the host's own relay runs (the warning strip is then pointless).
    std::function<bool()> RelayRunning;
    // The contacts book: a contact chosen for connecting, or nothing.
    std::function<std::optional<Contact>()> ChooseContact;
    // The Wake-on-LAN window for the ID text; true when it was confirmed.
    std::function<bool(const QString& idText)> WakeUpPc;
    std::function<void()> OpenRoutingWindow;

    // Shows the dialog modally and returns Tag. With `confirm` the pre-filled
    // request is confirmed at once, exactly as if "Connect" were pressed
    // (`cr --connect`); a refused text leaves the dialog open.
    int Execute(bool confirm = false);

    // "Connect" (the button, its drop-down entry, Enter anywhere).
    void ConnectClick();
    // The drop-down entry "Wake Up PC && Connect...".
    void WakeUpClick();
    void AddressBookClick();
    // The warning strip's close image: hidden for this showing only.
    void HideWarningStrip();

    QString IdText() const;
    QString Password() const;
    bool WarningStripShown() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void translateCaptions();
    void setWarningStripShown(bool shown);

    Settings& FSettings;
    QLabel* lblID;
    QComboBox* cbID;
    QToolButton* btnAddressBook;
    QLabel* lblPassword;
    QLineEdit* edtPassword;
    QToolButton* btnConnect;
    QAction* actConnect;
    QAction* actWakeUp;
    QPushButton* btnCancel;
    TWarningStrip* panWarning;
    QLabel* lblWarning;
    QToolButton* btnWarningClose;
};

}  // namespace corvala
