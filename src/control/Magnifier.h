#pragma once
// The host's screen magnifier: an installed magnifier program, started when
// a viewer asks to see the host's pointer (command 8) and for a mobile
// viewer, ended when the host goes to its lock screen, and minimised once
// its window shows (TimerMagnifierMinimizer).

#include <QTimer>

#include <string>
#include <vector>

#include "platform/DesktopPrograms.h"

namespace corvala {

class Magnifier {
public:
    // Looked for on PATH in this order: GNOME's, KDE's, then the plain X one.
    static const std::vector<std::string>& Candidates();
    // The minimiser looks for the window this many times, a second apart.
    static constexpr int MinimizerAttempts = 5;

    enum class Outcome { Started, AlreadyRunning, NotInstalled, StartFailed, Stopped };

    Magnifier(platform::IDesktopPrograms& programs, QTimer& timerMagnifierMinimizer);

    // The first installed candidate; empty when none is.
    std::string Installed() const;
    // start: the installed magnifier unless one of the candidates already
    // runs; with `minimize` its window is minimised once it shows. Not
    // start: the magnifier this program started ends.
    Outcome Drive(bool start, bool minimize);
    // TimerMagnifierMinimizer.
    void MinimizerTick();
    int MinimizerAttempt() const { return FAttempt; }

private:
    bool AnyRunning() const;

    platform::IDesktopPrograms& FPrograms;
    QTimer& FTimer;
    std::string FStartedName;  // what the minimiser looks for
    int FStartedProcess = -1;
    int FAttempt = 0;  // the timer's tag
};

}  // namespace corvala
