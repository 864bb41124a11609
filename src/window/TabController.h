#pragma once
// What the viewer does when its connection tabs change or close, and the
// double release on the tab strip; the widgets only forward their events.
// Everything runs on the main thread.

#include <QString>

#include <cstdint>
#include <functional>

namespace corvala {

struct TabHooks {
    // A monotonic clock in milliseconds. Default: steady_clock.
    std::function<std::int64_t()> NowMs;
    std::function<void()> CloseVoiceWindow;
    std::function<void()> ClearPressedKeys;
    std::function<QString()> CurrentViewingPeerID;
    std::function<void(const QString& id)> SetCurrentViewingPeerID;
    // LastFrameTime := now, so the liveness check gives the new tab's picture
    // its full time.
    std::function<void()> ResetFrameWatch;
    std::function<void()> UpdateMonitorMenu;
    std::function<void()> UpdateAliveButton;
    // SendMessageToPeer(id, text).
    std::function<void(const QString& id, const QString& text)> SendMessageToPeer;
    // Keeps processing window messages for that many milliseconds.
    std::function<void(int milliseconds)> PumpMessages;
    std::function<void(const QString& id)> EndCall;
    std::function<int()> PeerCount;
    std::function<void()> HideToolbar;
    std::function<void()> RefreshChatRecipients;
};

class TabController {
public:
    static constexpr std::int64_t CloseGuardMs = 300;
    static constexpr std::int64_t DoubleReleaseMs = 500;
    static constexpr int ClosePumpMs = 500;

    explicit TabController(TabHooks hooks);

    // The tab strip's change query for the tab about to become active
    // (index -1: none left), with that tab's caption "name (ID)". Changing
    // tabs sends nothing to either host.
    void TabChanging(int newIndex, const QString& caption);

    // The active tab's close button. False when refused (within 300 ms of a
    // tab change, so that a click meant for the previous tab's close button
    // cannot close the tab that just slid under the pointer, or while a close
    // is still pumping messages, so that a second click cannot remove a
    // second tab); the strip removes the tab only on true.
    bool CloseActiveTab();

    // A button release on the tab strip; true when it is the second within
    // 500 ms, which toggles maximised as the restore/maximise button does.
    bool StripReleased();

private:
    std::int64_t Now() const;

    TabHooks FHooks;
    std::int64_t TabChangeTime = 0;
    std::int64_t TabsMouseUpDateTime = 0;
    bool FHasChanged = false;
    bool FClosing = false;
};

}  // namespace corvala
