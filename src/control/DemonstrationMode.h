#pragma once
// The host's demonstration mode (the "Allow Only Viewing" setting): one
// routine switches it, tells the connected viewers when asked to, and has
// the caption and the Magnifier follow.

#include "control/PeerMessenger.h"

#include <QString>

#include <functional>

namespace corvala {

struct DemonstrationHooks {
    // Settings: AllowOnlyViewing := value.
    std::function<void(bool value)> StoreAllowOnlyViewing;
    // Refresh the window caption (its prefix comes from CaptionPrefix).
    std::function<void()> RefreshCaption;
    // The Magnifier follows the mode (host-commands module).
    std::function<void(bool on)> DriveMagnifier;
};

class DemonstrationMode {
public:
    DemonstrationMode(PeerMessenger& messenger, DemonstrationHooks hooks);
    // From the menu (notify: every peer hears "DEMONSTRATION_ON"/"_OFF") or
    // with the stored value at start-up (notify false).
    void SetAllowOnlyViewing(bool value, bool notify);

private:
    PeerMessenger& messenger_;
    DemonstrationHooks hooks_;
};

// The caption's prefix: translated "DEMONSTRATION" and " - " while the mode
// is on, empty otherwise.
QString CaptionPrefix(bool allowOnlyViewing);

}  // namespace corvala
