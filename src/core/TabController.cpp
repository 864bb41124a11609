#include "core/TabController.h"

#include <chrono>

#include "base/ProcessState.h"
#include "control/ControlProtocol.h"
#include "session/ConnectionEntries.h"

namespace corvala {

TabController::TabController(ITabEvents& events, std::function<std::int64_t()> nowMs)
    : FEvents(events), FNowMs(std::move(nowMs)) {}

std::int64_t TabController::Now() const {
    if (FNowMs) return FNowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TabController::TabChanging(int newIndex, const QString& caption) {
    TabChangeTime = Now();
    FHasChanged = true;
    TabsMouseUpDateTime = 0;
    if (newIndex < 0) return;
    FEvents.CloseVoiceWindow();
    FEvents.ClearPressedKeys();
    FEvents.SetCurrentViewingPeerID(ExtractId(caption));
    FEvents.ResetFrameWatch();
    FEvents.UpdateMonitorMenu();
    FEvents.UpdateAliveButton();
}

bool TabController::CloseActiveTab() {
    if (FClosing) return false;
    if (FHasChanged && Now() - TabChangeTime < CloseGuardMs) return false;
    FClosing = true;
    FEvents.CloseVoiceWindow();
    const QString closing = FEvents.CurrentViewingPeerID();
    FEvents.SendMessageToPeer(closing, QString::fromLatin1(commands::Disconnect));
    // The "DISCONNECT" leaves before the connection goes.
    FEvents.PumpMessages(ClosePumpMs);
    ProcessState& state = processState();
    state.EventsSuspended = true;
    FEvents.SetCurrentViewingPeerID(QString());
    FEvents.ClearPressedKeys();
    FEvents.EndCall(closing);
    state.EventsSuspended = false;
    FEvents.UpdateAliveButton();
    if (FEvents.PeerCount() == 0) FEvents.HideToolbar();
    FEvents.RefreshChatRecipients();
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
