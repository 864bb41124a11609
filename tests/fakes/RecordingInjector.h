#pragma once
// An input injector that writes down every event as a short line, for the
// control logic's tests.

#include "platform/InputInjector.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace corvala::testing_support {

class RecordingInjector : public platform::IInputInjector {
public:
    int screenWidth = 1920;
    int screenHeight = 1080;

    void InjectVirtualKey(std::uint16_t virtualKey, bool up, bool extended) override {
        Record("key " + std::to_string(virtualKey) + (up ? " up" : " down") + (extended ? " ext" : ""));
    }
    void InjectCharacter(char16_t unit, bool up) override {
        Record("char " + std::to_string(static_cast<int>(unit)) + (up ? " up" : " down"));
    }
    void InjectMouseInput(std::uint32_t flags, int dx, int dy, std::int32_t data) override {
        char line[96];
        std::snprintf(line, sizeof line, "mouse 0x%04x %d,%d %d", flags, dx, dy, data);
        Record(line);
    }
    int PrimaryScreenWidth() override { return screenWidth; }
    int PrimaryScreenHeight() override { return screenHeight; }

    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

private:
    void Record(std::string line) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(line));
    }
    std::mutex mutex_;
    std::vector<std::string> events_;
};

}  // namespace corvala::testing_support
