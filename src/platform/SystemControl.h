#pragma once
// Locking the session, restarting and powering off the computer: what the
// desktop's session manager does when a viewer asks for it.

#include <functional>

namespace corvala::platform {

enum class SessionAction { Lock, Reboot, PowerOff };

class ISystemControl {
public:
    virtual ~ISystemControl() = default;
    // Asks for `action` without waiting for it; `done` runs once, on the
    // calling thread, with true when the session manager took the request
    // and false when there is none to ask or it refused.
    virtual void Request(SessionAction action, std::function<void(bool accepted)> done) = 0;
};

}  // namespace corvala::platform
