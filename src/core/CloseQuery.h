#pragma once
// Whether the program may close: the questions asked before closing, free
// of widgets so that every path can be tested.

#include <QString>

namespace corvala {

struct CloseQueryState {
    bool EndingSession = false;          // the desktop session ends: ask nothing
    bool AutostartMarkerExists = false;
    bool MasterMode = false;
    bool ForcedUpdateShown = false;      // the connect button reads "Download"
    bool PeersConnected = false;
};

// Who answers the questions; the core implements it.
class ICloseQuestions {
public:
    virtual void ShowWarning(const QString& text) = 0;  // modal
    virtual bool Confirm(const QString& text) = 0;      // modal; true for OK
    virtual void DisableAutostart() = 0;

protected:
    ~ICloseQuestions() = default;
};

// True when the window may close. Texts are translated here.
bool QueryClose(const CloseQueryState& state, ICloseQuestions& answers);

}  // namespace corvala
