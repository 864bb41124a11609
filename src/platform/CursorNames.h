#pragma once
// The name under which the pointer's current cursor shape was loaded, for
// the host's cursor-shape monitor.

#include <optional>
#include <string>

namespace corvala::platform {

class ICursorNames {
public:
    virtual ~ICursorNames() = default;
    // The current cursor's name; empty for a cursor without a name; nothing
    // when the cursor cannot be read.
    virtual std::optional<std::string> CurrentCursorName() = 0;
};

}  // namespace corvala::platform
