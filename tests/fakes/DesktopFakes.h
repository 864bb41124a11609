#pragma once
// Fakes of what the host commands and clipboard sharing use of the desktop:
// they record what was asked and answer what the test set up.

#include <QString>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/DesktopCapture.h"
#include "platform/DesktopPrograms.h"
#include "platform/SystemControl.h"

namespace corvala::fakes {

class FakeSystemControl : public platform::ISystemControl {
public:
    bool accept = true;
    std::vector<platform::SessionAction> requests;
    void Request(platform::SessionAction action, std::function<void(bool)> done) override {
        requests.push_back(action);
        done(accept);
    }
};

class FakeDesktopPrograms : public platform::IDesktopPrograms {
public:
    std::map<std::string, std::string> onPath;  // program -> path
    std::vector<std::string> running;
    std::set<std::string> windows;  // programs whose windows show
    std::vector<std::string> started, minimised;
    std::vector<int> terminated;
    int nextProcess = 100;
    bool startFails = false;

    std::string FindOnPath(const std::string& program) const override {
        const auto found = onPath.find(program);
        return found == onPath.end() ? std::string() : found->second;
    }
    std::vector<std::string> RunningProgramNames() const override { return running; }
    int Start(const std::string& path) override {
        if (startFails) return -1;
        started.push_back(path);
        return nextProcess++;
    }
    void Terminate(int processId) override { terminated.push_back(processId); }
    bool MinimiseWindowsOf(const std::string& program) override {
        if (!windows.count(program)) return false;
        minimised.push_back(program);
        return true;
    }
};

class FakeDesktopCapture : public platform::IDesktopCapture {
public:
    platform::DesktopPicture picture;
    bool fails = false;
    bool CaptureDesktop(platform::DesktopPicture& target, bool) override {
        if (fails) return false;
        target = picture;
        return true;
    }
};

class FakeClipboard : public platform::IClipboard {
public:
    std::optional<QString> text;
    std::vector<QString> setTexts;
    int images = 0;
    std::function<void()> changed;

    std::optional<QString> Text() const override { return text; }
    // Like the desktop's: a change is announced, this program's own too.
    void SetText(const QString& value) override {
        setTexts.push_back(value);
        text = value;
        if (changed) changed();
    }
    void SetImage(const platform::DesktopPicture&) override {
        ++images;
        text.reset();
        if (changed) changed();
    }
    void Watch(std::function<void()> onChange) override { changed = std::move(onChange); }
    // A user of this desktop copies.
    void UserCopies(const QString& value) {
        text = value;
        if (changed) changed();
    }
};

}  // namespace corvala::fakes
