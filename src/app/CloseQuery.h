#pragma once
// Whether the main window may close: the questions asked before closing,
// free of widgets so that every path can be tested.

#include <QString>
#include <functional>

namespace corvala {

struct CloseQueryState {
    bool EndingSession = false;          // the desktop session ends: ask nothing
    bool AutostartMarkerExists = false;
    bool MasterMode = false;
    bool ForcedUpdateShown = false;      // the connect button reads "Download"
    bool PeersConnected = false;
};

struct CloseQueryAnswers {
    std::function<void(const QString& text)> Warning;
    std::function<bool(const QString& text)> Confirm;  // true for OK
    std::function<void()> DisableAutostart;
};

// True when the window may close. Texts are translated here.
bool QueryClose(const CloseQueryState& state, const CloseQueryAnswers& answers);

}  // namespace corvala
