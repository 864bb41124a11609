#pragma once
// How a host follows its session's lock state and which picture source it
// activates: the screen source in normal operation, the desktop copy window
// while the lock or logon screen is up.

#include "media/WebrtcClientVcl.h"
#include "platform/SessionMonitor.h"

#include <functional>

namespace corvala {

// Picture sources of the component (CameraId).
inline constexpr int ScreenSourceId = 999;
inline constexpr int CopyWindowSourceId = 998;

struct HostSessionHooks {
    // "RECONNECT" to every peer, one gated send per peer ID.
    std::function<void()> SendReconnectToEveryPeer;
    // Keep processing window messages for this many milliseconds.
    std::function<void(int milliseconds)> ProcessMessagesFor;
    // Deactivate the peer-connection component.
    std::function<void()> DeactivateComponent;
    // Close the desktop copy window if it shows.
    std::function<void()> CloseDesktopCopyWindow;
};

// The session-change handler: a lock enters lock-screen operation, a logon or
// unlock leaves it; each change tells the viewers to reconnect and drops the
// running call so that the next admission picks the fitting source. Nothing
// happens in the viewer role or when the mode does not change. Returns
// whether the mode changed.
bool HostSessionChanged(platform::SessionChange change, const HostSessionHooks& hooks);

struct HostSourceHooks {
    // Size the desktop copy window to the desktop, place it at (0, 0), show
    // it, and answer its window id.
    std::function<unsigned long(int desktopWidth, int desktopHeight)> ShowDesktopCopyWindow;
    // Both input replay tables cleared.
    std::function<void()> ClearReplayTables;
};

// Source activation at a viewer's "init" while the component is inactive:
// chooses the source by LockScreenMode, limits the video to the desktop size,
// enables video and activates the component.
void ActivateHostSource(TWebRtcClientVcl& client, int desktopWidth, int desktopHeight, const HostSourceHooks& hooks);

}  // namespace corvala
