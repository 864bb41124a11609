#pragma once
// The user of a graphical session and that session's environment, and
// programs started as that user. Plain POSIX, so that crsystem uses it too.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace corvala::platform::linuxos {

// The environment ("NAME=value" entries) of a process of `uid` that runs in
// a graphical session (DISPLAY or WAYLAND_DISPLAY set), read from /proc; the
// newest such process wins. Nothing when the user runs none.
std::optional<std::vector<std::string>> GraphicalEnvironmentOf(uid_t uid);

// This process's own environment as "NAME=value" entries.
std::vector<std::string> OwnEnvironment();

// Starts argv[0] (searched on the PATH of `environment`) detached, as `uid`
// with its groups and with exactly `environment`. A process running as root
// gives its rights up in the child first; any other process may start only
// as itself. Returns false when the start is not allowed or fails.
bool SpawnAsUser(uid_t uid, const std::vector<std::string>& argv, const std::vector<std::string>& environment);

}  // namespace corvala::platform::linuxos
