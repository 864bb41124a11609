#pragma once
// The host's demonstration mode (the "Allow Only Viewing" setting): one
// routine switches it and tells the connected viewers when asked to, so that
// their input is refused or accepted again on both ends.

#include "control/PeerMessenger.h"

#include <QString>

namespace corvala {

class Settings;

class DemonstrationMode {
public:
    DemonstrationMode(Settings& settings, PeerMessenger& messenger);
    // From the menu (notify: every peer hears "DEMONSTRATION_ON"/"_OFF") or
    // with the stored value at start-up (notify false). The caller refreshes
    // the caption.
    void SetAllowOnlyViewing(bool value, bool notify);

private:
    Settings& FSettings;
    PeerMessenger& FMessenger;
};

// The caption's prefix: translated "DEMONSTRATION" and " - " while the mode
// is on, empty otherwise.
QString CaptionPrefix(bool allowOnlyViewing);

}  // namespace corvala
