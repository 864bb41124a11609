#include "control/Magnifier.h"

#include <QString>

#include <algorithm>
#include <filesystem>

#include "base/Log.h"

namespace corvala {

namespace {
std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}
}  // namespace

const std::vector<std::string>& Magnifier::Candidates() {
    static const std::vector<std::string> names = {"magnus", "kmag", "xzoom"};
    return names;
}

Magnifier::Magnifier(platform::IDesktopPrograms& programs, QTimer& timerMagnifierMinimizer)
    : FPrograms(programs), FTimer(timerMagnifierMinimizer) {}

std::string Magnifier::Installed() const {
    for (const std::string& name : Candidates())
        if (std::string path = FPrograms.FindOnPath(name); !path.empty()) return path;
    return {};
}

bool Magnifier::AnyRunning() const {
    for (const std::string& running : FPrograms.RunningProgramNames()) {
        const std::string name = Lower(running);
        for (const std::string& candidate : Candidates())
            if (name.starts_with(candidate)) return true;
    }
    return false;
}

Magnifier::Outcome Magnifier::Drive(bool start, bool minimize) {
    if (!start) {
        // Only the one this program started: the user's own stays.
        if (FStartedProcess > 0) FPrograms.Terminate(FStartedProcess);
        FStartedProcess = -1;
        return Outcome::Stopped;
    }
    const std::string path = Installed();
    if (path.empty()) return Outcome::NotInstalled;
    if (AnyRunning()) return Outcome::AlreadyRunning;
    const int process = FPrograms.Start(path);
    if (process < 0) {
        qCWarning(lcControl) << "the magnifier" << QString::fromStdString(path) << "did not start";
        return Outcome::StartFailed;
    }
    FStartedProcess = process;
    FStartedName = std::filesystem::path(path).filename().string();
    if (minimize) {
        FAttempt = 0;
        FTimer.start();
    }
    return Outcome::Started;
}

void Magnifier::MinimizerTick() {
    ++FAttempt;
    if (FAttempt <= MinimizerAttempts && !FPrograms.MinimiseWindowsOf(FStartedName)) return;
    FAttempt = 0;
    FTimer.stop();
}

}  // namespace corvala
