#pragma once
// Stand-ins for a desktop that offers none of these: no session manager,
// no programs, an unreadable screen, no clipboard. The core uses them where
// its maker gave nothing, so that every command still gets its answer.

#include "platform/Clipboard.h"
#include "platform/DesktopCapture.h"
#include "platform/DesktopPrograms.h"
#include "platform/SystemControl.h"

namespace corvala::platform {

class NoSystemControl : public ISystemControl {
public:
    void Request(SessionAction, std::function<void(bool)> done) override { done(false); }
};

class NoDesktopPrograms : public IDesktopPrograms {
public:
    std::string FindOnPath(const std::string&) const override { return {}; }
    std::vector<std::string> RunningProgramNames() const override { return {}; }
    int Start(const std::string&) override { return -1; }
    void Terminate(int) override {}
    bool MinimiseWindowsOf(const std::string&) override { return false; }
};

class NoDesktopCapture : public IDesktopCapture {
public:
    bool CaptureDesktop(DesktopPicture&, bool) override { return false; }
};

class NoClipboard : public IClipboard {
public:
    std::optional<QString> Text() const override { return std::nullopt; }
    void SetText(const QString&) override {}
    void SetImage(const DesktopPicture&) override {}
    void Watch(std::function<void()>) override {}
};

}  // namespace corvala::platform
