#pragma once
#include <sys/types.h>

#include <optional>

#include "platform/UserSession.h"

namespace corvala::platform::linuxos {

// The console is logind's seat0 and its active session; the target opens
// through xdg-open as that session's user. A copy running as root starts it
// with the user's rights and the session's environment; a copy running as
// that user starts it itself; a copy of any other user cannot.
class LinuxUserSession : public IUserSession {
public:
    bool RunInUserSession(const std::string& target) override;

private:
    // The user of seat0's active session; without logind, this process's
    // user when it has a display.
    std::optional<uid_t> ConsoleUser() const;
};

}  // namespace corvala::platform::linuxos
