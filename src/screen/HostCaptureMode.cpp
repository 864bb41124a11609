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

void ActivateHostSource(TWebRtcClientVcl& client, int desktopWidth, int desktopHeight, const HostSourceHooks& hooks) {
    if (processState().LockScreenMode) {
        const unsigned long window =
            hooks.ShowDesktopCopyWindow ? hooks.ShowDesktopCopyWindow(desktopWidth, desktopHeight) : 0;
        client.CameraId = CopyWindowSourceId;
        client.CameraSource = window;
        if (hooks.ClearReplayTables) hooks.ClearReplayTables();
    } else {
        client.CameraId = ScreenSourceId;
        client.CameraSource = 0;
    }
    client.VideoConstraints.MaxWidth = desktopWidth;
    client.VideoConstraints.MaxHeight = desktopHeight;
    client.VideoCallEnabled = true;
    client.SetActive(true);
}

}  // namespace corvala
