#include "screen/HostCaptureMode.h"

#include "app/ProcessState.h"

namespace corvala {

namespace {
constexpr int SessionChangeSettleMs = 1000;
}

bool HostSessionChanged(platform::SessionChange change, const HostSessionHooks& hooks) {
    ProcessState& state = processState();
    if (state.MasterMode) return false;
    const bool locking = change == platform::SessionChange::Locked;
    if (locking == state.LockScreenMode.load()) return false;
    state.LockScreenMode = locking;
    if (hooks.SendReconnectToEveryPeer) hooks.SendReconnectToEveryPeer();
    if (hooks.ProcessMessagesFor) hooks.ProcessMessagesFor(SessionChangeSettleMs);
    if (hooks.DeactivateComponent) hooks.DeactivateComponent();
    if (!locking && hooks.CloseDesktopCopyWindow) hooks.CloseDesktopCopyWindow();
    return true;
}

}  // namespace corvala
