#pragma once
// What the viewer does when its connection tabs change or close, and the
// double release on the tab strip; the tab strip only forwards its events.
// Everything runs on the main thread.

#include <QString>

#include <cstdint>
#include <functional>

namespace corvala {

// What a tab change or close does to the rest of the program; the core
// implements it.
class ITabEvents {
public:
    virtual void CloseVoiceWindow() = 0;
    // Forget the keys held towards the viewed host without sending anything.
    virtual void ClearPressedKeys() = 0;
    virtual QString CurrentViewingPeerID() const = 0;
    virtual void SetCurrentViewingPeerID(const QString& id) = 0;
    // LastFrameTime := now, so the liveness check gives the new tab's picture
    // its full time.
    virtual void ResetFrameWatch() = 0;
    virtual void UpdateMonitorMenu() = 0;
    virtual void UpdateAliveButton() = 0;
    // The gated send of one data-channel message.
    virtual void SendMessageToPeer(const QString& id, const QString& text) = 0;
    // Keeps processing window messages for that many milliseconds.
    virtual void PumpMessages(int milliseconds) = 0;
    virtual void EndCall(const QString& id) = 0;
    virtual int PeerCount() const = 0;
    virtual void HideToolbar() = 0;
    virtual void RefreshChatRecipients() = 0;

protected:
    ~ITabEvents() = default;
};

class TabController {
public:
    static constexpr std::int64_t CloseGuardMs = 300;
    static constexpr std::int64_t DoubleReleaseMs = 500;
    static constexpr int ClosePumpMs = 500;

    // `nowMs`: a monotonic clock in milliseconds (steady_clock by default).
    explicit TabController(ITabEvents& events, std::function<std::int64_t()> nowMs = {});

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

    ITabEvents& FEvents;
    std::function<std::int64_t()> FNowMs;
    std::int64_t TabChangeTime = 0;
    std::int64_t TabsMouseUpDateTime = 0;
    bool FHasChanged = false;
    bool FClosing = false;
};

}  // namespace corvala
