#pragma once
// Process-wide flags of the running program. Each flag has exactly one owner
// that sets it (named beside it); everyone else only reads. They live on the
// main thread unless marked atomic.

#include <atomic>

#include "base/ThemeColours.h"

namespace corvala {

// The file-transfer state.
enum class TTransferMode { Idle, Sending, Receiving };

struct ProcessState {
    // Stops event processing: received messages, frame callbacks, most timers,
    // the capture thread and translation. Set by start-up when the program must
    // end, by the main window around tear-downs and for good at close.
    std::atomic<bool> EventsSuspended{false};
    // The main window is not shown when the message loop starts (start-up).
    bool StartHidden = false;
    // "crcustom1.txt" exists in the program folder (start-up).
    bool Branded = false;
    // Viewer role, set once by the first outgoing connection.
    bool MasterMode = false;
    // The host showed its hidden main window for an incoming session and
    // hides it again when the last session ends.
    bool ShownForSession = false;
    // The host's lock or logon screen is up.
    std::atomic<bool> LockScreenMode{false};
    // A file transfer runs (the transfer module); while it does, input, chat,
    // clipboard and cursor reports stay off the data channel.
    TTransferMode TransferMode = TTransferMode::Idle;
    // Colours every window paints with; start-up switches to the branded set.
    ThemeColours Theme = ThemeColours::Default();
};

// The one instance of the running process.
ProcessState& processState();

}  // namespace corvala
