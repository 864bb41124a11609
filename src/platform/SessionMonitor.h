#pragma once
// The desktop session's lock state: notifications when this user session
// is locked or unlocked, and whether any session is active at all.

#include <functional>

namespace corvala::platform {

enum class SessionChange { Locked, Unlocked, LoggedOn };

class ISessionMonitor {
public:
    virtual ~ISessionMonitor() = default;
    // Starts delivering this session's changes to `handler` on the calling
    // thread's event loop. False when the system offers no notifications.
    virtual bool Start(std::function<void(SessionChange)> handler) = 0;
    // True when some session is in the active (unlocked, in front) state, or
    // when the system cannot tell.
    virtual bool AnySessionActive() = 0;
};

}  // namespace corvala::platform
