#pragma once
// Programs started inside the graphical session of the console's user, for a
// copy whose own rights or environment are not that user's (started by the
// companion helper, or running as root).

#include <string>

namespace corvala::platform {

class IUserSession {
public:
    virtual ~IUserSession() = default;
    // Opens `target` (a file, a folder or a web shortcut) with the desktop's
    // own handler, as the user of the active console session and in that
    // session's environment. False when there is no such session, or when
    // this process may not act for its user.
    virtual bool RunInUserSession(const std::string& target) = 0;
};

}  // namespace corvala::platform
