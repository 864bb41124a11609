#pragma once
#include "platform/InputInjector.h"

#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>

typedef struct _XDisplay Display;

namespace corvala::platform::linuxos {

// Injects input into an X display through XTest. Keys the keymap lacks and
// typed characters are bound to spare keycodes (keycodes without any
// keysym) for as long as they are needed. The main thread and the capture
// thread both inject, so every call holds the injector's lock.
class XTestInputInjector : public IInputInjector {
public:
    // `displayName` empty: $DISPLAY. Check Available() before use.
    explicit XTestInputInjector(const std::string& displayName = {});
    ~XTestInputInjector() override;
    XTestInputInjector(const XTestInputInjector&) = delete;
    XTestInputInjector& operator=(const XTestInputInjector&) = delete;

    bool Available() const { return display_ != nullptr; }

    void InjectVirtualKey(std::uint16_t virtualKey, bool up, bool extended) override;
    void InjectCharacter(char16_t unit, bool up) override;
    void InjectMouseInput(std::uint32_t flags, int dx, int dy, std::int32_t data) override;
    int PrimaryScreenWidth() override;
    int PrimaryScreenHeight() override;

private:
    unsigned KeycodeFor(unsigned long keysym, bool exactSymbol);
    void Click(unsigned button, int times);

    std::mutex mutex_;
    Display* display_ = nullptr;
    std::list<unsigned> spareOrder_;              // keycodes free for binding, least recently bound first
    std::map<unsigned long, unsigned> bound_;     // keysym -> spare keycode
    std::map<std::uint16_t, unsigned> pressed_;   // virtual key -> keycode pressed
    char16_t highSurrogate_ = 0;
    int wheelRest_ = 0;                           // wheel delta below one notch
};

}  // namespace corvala::platform::linuxos
