#include "window/TabController.h"

#include <chrono>

#include "app/ProcessState.h"
#include "dialogs/ConnectionEntries.h"

namespace corvala {

namespace {

template <typename F, typename... A>
void call(const F& hook, A&&... args) {
    if (hook) hook(std::forward<A>(args)...);
}

}  // namespace

TabController::TabController(TabHooks hooks) : FHooks(std::move(hooks)) {}

std::int64_t TabController::Now() const {
    if (FHooks.NowMs) return FHooks.NowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TabController::TabChanging(int newIndex, const QString& caption) {
    TabChangeTime = Now();
    FHasChanged = true;
    TabsMouseUpDateTime = 0;
    if (newIndex < 0) return;
    call(FHooks.CloseVoiceWindow);
    call(FHooks.ClearPressedKeys);
    call(FHooks.SetCurrentViewingPeerID, ExtractId(caption));
    call(FHooks.ResetFrameWatch);
    call(FHooks.UpdateMonitorMenu);
    call(FHooks.UpdateAliveButton);
}

bool TabController::CloseActiveTab() {
    if (FClosing) return false;
    if (FHasChanged && Now() - TabChangeTime < CloseGuardMs) return false;
    FClosing = true;
    call(FHooks.CloseVoiceWindow);
    const QString closing = FHooks.CurrentViewingPeerID ? FHooks.CurrentViewingPeerID() : QString();
    call(FHooks.SendMessageToPeer, closing, QStringLiteral("DISCONNECT"));
    call(FHooks.PumpMessages, ClosePumpMs);
    ProcessState& state = processState();
    state.EventsSuspended = true;
    call(FHooks.SetCurrentViewingPeerID, QString());
    call(FHooks.ClearPressedKeys);
    call(FHooks.EndCall, closing);
    state.EventsSuspended = false;
    call(FHooks.UpdateAliveButton);
    if (!FHooks.PeerCount || FHooks.PeerCount() == 0) call(FHooks.HideToolbar);
    call(FHooks.RefreshChatRecipients);
    FClosing = false;
    return true;
}

bool TabController::StripReleased() {
    const std::int64_t now = Now();
    const bool second = TabsMouseUpDateTime != 0 && now - TabsMouseUpDateTime < DoubleReleaseMs;
    TabsMouseUpDateTime = now;
    return second;
}

}  // namespace corvala
