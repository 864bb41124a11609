#pragma once
// The viewer's toolbar (pnlToolbar) on the caption bar: "File Transfer",
// "Send Message...", "Speak..." and "Control..." with their menus, and the
// tab settings menu that the full-screen menu opens with the same items.
// Items of subsystems that are not there yet stay disabled.

#include <QMenu>
#include <QToolButton>
#include <QWidget>

namespace corvala {

class TControlMenu;

class TViewerToolbar : public QWidget {
    Q_OBJECT
public:
    explicit TViewerToolbar(QWidget* parent);

    TControlMenu* ControlMenu() const { return FControlMenu; }
    // The tab settings menu (file transfer, "Send Message...", "Speak...",
    // "Control...") shown below the floating full-screen menu.
    QMenu* TabSettingsMenu() const { return FTabSettingsMenu; }
    TControlMenu* TabSettingsControlMenu() const { return FTabSettingsControl; }
    // Sets the buttons' texts in the current language (menus are translated
    // with the window's other actions).
    void Translate();

signals:
    // "Send File..." and "Receive File..." of either menu.
    void SendFileClicked();
    void ReceiveFileClicked();
    // "Send Message..." from the toolbar (`fromToolbar`) or the tab settings
    // menu, and "Speak..." from either.
    void SendMessageClicked(bool fromToolbar);
    void SpeakClicked();

private:
    QToolButton* AddButton(const char* objectName);
    void AddFileTransferItems(QMenu* menu);

    QToolButton* btnFileTransfer = nullptr;
    QToolButton* btnSendMessage = nullptr;
    QToolButton* btnSpeak = nullptr;
    QToolButton* btnControl = nullptr;
    TControlMenu* FControlMenu = nullptr;
    QMenu* FTabSettingsMenu = nullptr;
    TControlMenu* FTabSettingsControl = nullptr;
};

}  // namespace corvala
