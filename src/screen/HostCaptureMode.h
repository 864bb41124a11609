#pragma once
// How a host follows its session's lock state. The picture source that
// follows from the state is chosen where a session is admitted.

#include "platform/SessionMonitor.h"

#include <functional>

namespace corvala {

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

}  // namespace corvala
