#pragma once
// The one view of the application core: everything the core asks the
// windows to show or to ask the user. The main window implements it; every
// method is pure, so that a method no window implements is a compile error.
// A feature module that lands brings its own methods here.
//
// All calls come on the main thread. Texts arrive translated unless a
// method says otherwise.

#include "base/MessageKind.h"
#include "control/Chat.h"
#include "core/AliveButtonState.h"
#include "features/Credentials.h"
#include "screen/MonitorMenu.h"
#include "session/ConnectArguments.h"
#include "session/SessionSetup.h"
#include "transfer/TransferProgress.h"

#include <QString>
#include <QStringList>
#include <Qt>

#include <array>
#include <optional>

namespace corvala {

// A branded build's own texts and picture (from "crcustom1.txt").
struct Branding {
    QString Contact;     // empty: the file did not have two lines
    QString BannerPath;  // the picture replacing the main banner; empty: none
};

class IAppView {
public:
    // ---- Creation, in the order the core runs them.
    // First run: the welcome window, modal; true when accepted.
    virtual bool AskWelcome() = 0;
    // Every text of the windows in the current language, the language menu
    // with the current one ticked. Also after a language change.
    virtual void TranslateWindow() = 0;
    // "Your ID:" and "Password:" figures.
    virtual void ShowIdentity(const QString& deviceId, const QString& passwordFigure) = 0;
    // A branded build: contact labels instead of the connect button, the
    // banner, fewer menu items.
    virtual void ApplyBranding(const Branding& branding) = 0;
    // The theme, the host layout sized and centred, the caption, the
    // activity animation: the window is ready to be shown.
    virtual void ShowHostLayout() = 0;

    // ---- Messages. The message box; true only for a modal Confirm
    // answered with OK.
    virtual bool ShowAppMessage(bool modal, MessageKind kind, const QString& text) = 0;

    // ---- The main window.
    virtual bool WindowShowing() const = 0;
    virtual void ShowWindow() = 0;  // from the tray, restored and raised
    virtual void HideWindow() = 0;
    // The caption from the peer count and the demonstration mode.
    virtual void UpdateWindowCaption() = 0;
    // The signalling link is joined: the host panel's connect button works.
    virtual void EnableConnectButton() = 0;
    // The own relay's setup runs: the hourglass, and the connect button
    // disabled unless it offers an update. Ended: the default cursor, the
    // button enabled and shown (unless branded), the activity animation
    // stopped.
    virtual void ShowRelaySetupRunning(bool running) = 0;
    // MasterMode was just set: the one-way switch to the viewer layout.
    virtual void SwitchToViewerLayout() = 0;
    // Host: restore if minimised, collapse, caption.
    virtual void CollapseForSession() = 0;
    // Host: the last session ended, the panel comes back.
    virtual void ExpandAfterSessions() = 0;

    // ---- Viewer.
    // The connection dialog, modal; nothing when cancelled. With
    // `confirmWith` pre-filled and confirmed at once.
    virtual std::optional<ConnectionDialogResult> ShowConnectionDialog(
        const std::optional<ConnectRequest>& confirmWith) = 0;
    // Shows the remote area and the toolbar, adds a tab and selects it.
    virtual void AddTab(const QString& caption, const QString& id) = 0;
    // Selects the tab of that peer; false when no tab shows it.
    virtual bool SelectTab(const QString& id) = 0;
    virtual void HideToolbar() = 0;
    // The monitor items of both control menus.
    virtual void ShowMonitorItems(const std::array<MonitorMenuItem, MonitorMenuItems>& items) = 0;
    // Copy the viewed peer's new frame into the picture (the frame hand-over,
    // while the engine thread waits).
    virtual void DrawRemoteFrame() = 0;
    // The status label and reconnect button over the remote area; texts in
    // English, the view translates them.
    virtual void ShowAliveStatus(const AliveButtonView& status) = 0;
    virtual void SetRemoteCursor(Qt::CursorShape shape) = 0;

    // ---- Host on its lock screen.
    // Sizes the desktop copy window to the desktop, shows it, and answers
    // its X window id for the media engine.
    virtual unsigned long ShowDesktopCopyWindow(int desktopWidth, int desktopHeight) = 0;
    virtual void CloseDesktopCopyWindow() = 0;

    // ---- File transfer.
    // The file chooser ("Send File"), modal: the chosen files and folders,
    // nothing when cancelled.
    virtual std::optional<QStringList> ChooseFilesAndFolders() = 0;
    // The folder chooser ("Receive File"), modal, showing `current` (empty:
    // none chosen yet): the chosen folder, nothing when cancelled.
    virtual std::optional<QString> ChooseDestinationFolder(const QString& current) = 0;
    // The hourglass over every window, while a file is digested.
    virtual void SetBusyCursor(bool busy) = 0;
    // The transfer window ("File Transfer"), modal or not; its Abort goes to
    // the core's Transfer().AbortClick().
    virtual void ShowTransferWindow(bool modal) = 0;
    virtual bool TransferWindowShowing() const = 0;
    virtual void ShowTransferState(const transfer::TransferWindowState& state) = 0;
    virtual void CloseTransferWindow() = 0;

    // ---- Chat and voice windows (both roles).
    virtual bool ChatWindowShowing() const = 0;
    // Shows the chat window below the caption and focuses its message line;
    // `clearMessageLine` empties the line first.
    virtual void ShowChatWindow(bool clearMessageLine) = 0;
    virtual void CloseChatWindow() = 0;
    // One line at the end of the log, scrolled into view; the texts are
    // shown as plain text, whatever a peer put into them.
    virtual void AppendChatLine(const ChatLine& line) = 0;
    virtual void ShowChatRecipients(const ChatRecipients& recipients) = 0;
    // The recipient entry chosen now; empty when none.
    virtual QString ChatRecipient() const = 0;
    virtual bool VoiceWindowShowing() const = 0;
    // Shows the voice window with its caption and animation; closing it
    // calls TAppCore::VoiceWindowClosed.
    virtual void ShowVoiceWindow(const QString& caption) = 0;
    virtual void CloseVoiceWindow() = 0;

    // ---- The update check and the self-update.
    // The update tool image with its hint, visible (not in a branded build).
    virtual void ShowUpdateTool(const QString& hint) = 0;
    // The host panel's heading shows `heading` as plain text, left-aligned
    // from the top; the ID and password figures, their labels and the line
    // about outgoing connections hide; the main button reads "Download",
    // enabled and visible; the progress bar shows, empty; the activity
    // animation stops. `offer`: the user opened the offer, so the copy and
    // collapse buttons hide too.
    virtual void ShowUpdateNotice(const QString& heading, bool offer) = 0;
    // The main button's caption by its English key ("Download", "Abort").
    virtual void SetUpdateButton(const char* englishKey) = 0;
    virtual void SetUpdateProgress(int percent) = 0;
    // Closes the main window (the close query asks nothing by then).
    virtual void CloseMainWindow() = 0;

    // ---- The printer driver's download window (modeless); its Abort and
    // close cross go to the core's PrinterDownload().AbortClick().
    virtual void ShowPrinterDownload(const QString& caption, const QString& status) = 0;
    virtual void SetPrinterProgress(int percent) = 0;
    virtual void ClosePrinterDownload() = 0;

    // ---- Credential dialogs, modal; nothing when cancelled or closed.
    // "Set Password" filled with `fill`; the dialog validated the answer.
    virtual std::optional<HostPasswordAnswer> AskHostPassword(const HostPasswordFill& fill) = 0;
    virtual std::optional<WhiteListAnswer> AskWhiteList(const WhiteListAnswer& current) = 0;
    // The edit's text as confirmed, untrimmed.
    virtual std::optional<QString> AskDisplayName(const QString& current) = 0;

    // ---- The connection history and the live connections, modal. The
    // log's "Clear" goes to TAppCore::ClearConnectionLog, "Disconnect
    // Selected" to TAppCore::DisconnectConnections; UpdateWindowCaption
    // follows every change of the peers, also while these windows show.
    virtual void ShowConnectionLog(const QStringList& lines, bool peersConnected) = 0;
    virtual void ShowConnections(const QStringList& lines) = 0;

protected:
    ~IAppView() = default;
};

}  // namespace corvala
