#include "platform/linux/XTestInputInjector.h"

#include "platform/linux/VirtualKeyKeysyms.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>

namespace corvala::platform::linuxos {

namespace {

// Buttons of the X pointer.
constexpr unsigned LeftButton = 1, MiddleButton = 2, RightButton = 3, WheelUp = 4, WheelDown = 5;
constexpr int WheelNotch = 120;
// A remote wheel delta is not trusted to be sane: at most this many clicks per event.
constexpr long long MaxWheelClicks = 50;

// X carries pointer coordinates as 16-bit values; larger ones would wrap.
int ToPointerCoordinate(double value, int low, int high) {
    return static_cast<int>(std::clamp(std::round(value), static_cast<double>(low), static_cast<double>(high)));
}

}  // namespace

XTestInputInjector::XTestInputInjector(const std::string& displayName) {
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display_) return;
    int eventBase, errorBase, major, minor;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display_);
        display_ = nullptr;
        return;
    }
    // Keycodes that carry no keysym at all are ours to bind.
    int minCode = 0, maxCode = 0, perCode = 0;
    XDisplayKeycodes(display_, &minCode, &maxCode);
    KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
    if (map) {
        for (int code = minCode; code <= maxCode; ++code) {
            bool empty = true;
            for (int i = 0; i < perCode; ++i)
                if (map[(code - minCode) * perCode + i] != NoSymbol) empty = false;
            if (empty) spareOrder_.push_back(static_cast<unsigned>(code));
        }
        XFree(map);
    }
}

XTestInputInjector::~XTestInputInjector() {
    if (!display_) return;
    // Give the borrowed keycodes back.
    for (const auto& [keysym, code] : bound_) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(display_, static_cast<int>(code), 2, none, 1);
    }
    XSync(display_, False);
    XCloseDisplay(display_);
}

unsigned XTestInputInjector::KeycodeFor(unsigned long keysym, bool exactSymbol) {
    if (!exactSymbol) {
        if (const KeyCode code = XKeysymToKeycode(display_, keysym)) return code;
    }
    if (auto it = bound_.find(keysym); it != bound_.end()) {
        spareOrder_.remove(it->second);
        spareOrder_.push_back(it->second);
        return it->second;
    }
    if (spareOrder_.empty()) return 0;
    // The keycode bound longest ago gets the new symbol.
    const unsigned code = spareOrder_.front();
    spareOrder_.pop_front();
    spareOrder_.push_back(code);
    for (auto it = bound_.begin(); it != bound_.end(); ++it)
        if (it->second == code) {
            bound_.erase(it);
            break;
        }
    // The same symbol on both levels, so that a held Shift does not change it.
    KeySym symbols[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_, static_cast<int>(code), 2, symbols, 1);
    XSync(display_, False);
    bound_[keysym] = code;
    return code;
}

void XTestInputInjector::InjectVirtualKey(std::uint16_t virtualKey, bool up, bool extended) {
    std::lock_guard lock(mutex_);
    if (!display_) return;
    unsigned code = 0;
    if (up) {
        // Release the keycode that was pressed, even if the mapping moved since.
        if (auto it = pressed_.find(virtualKey); it != pressed_.end()) {
            code = it->second;
            pressed_.erase(it);
        }
    }
    if (!code) {
        const unsigned long keysym = KeysymForVirtualKey(virtualKey, extended);
        if (!keysym) return;
        code = KeycodeFor(keysym, false);
        if (!code) return;
    }
    if (!up) pressed_[virtualKey] = code;
    XTestFakeKeyEvent(display_, code, up ? False : True, CurrentTime);
    XFlush(display_);
}

void XTestInputInjector::InjectCharacter(char16_t unit, bool up) {
    std::lock_guard lock(mutex_);
    if (!display_) return;
    char32_t codePoint = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        // The first half of a pair: typed with the second.
        if (!up) highSurrogate_ = unit;
        return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (up || !highSurrogate_) return;
        codePoint = 0x10000 + ((static_cast<char32_t>(highSurrogate_) - 0xD800) << 10) + (unit - 0xDC00);
        highSurrogate_ = 0;
        // A pair arrives as down/up of each half: type it whole on the second half's down.
        const unsigned code = KeycodeFor(KeysymForCharacter(codePoint), true);
        if (!code) return;
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XFlush(display_);
        return;
    }
    const unsigned code = KeycodeFor(KeysymForCharacter(codePoint), true);
    if (!code) return;
    XTestFakeKeyEvent(display_, code, up ? False : True, CurrentTime);
    XFlush(display_);
}

void XTestInputInjector::Click(unsigned button, int times) {
    for (int i = 0; i < times; ++i) {
        XTestFakeButtonEvent(display_, button, True, CurrentTime);
        XTestFakeButtonEvent(display_, button, False, CurrentTime);
    }
}

void XTestInputInjector::InjectMouseInput(std::uint32_t flags, int dx, int dy, std::int32_t data) {
    namespace mf = mouse_flags;
    std::lock_guard lock(mutex_);
    if (!display_) return;
    if (flags & mf::Move) {
        if (flags & mf::AbsolutePosition) {
            const int screen = DefaultScreen(display_);
            const int width = DisplayWidth(display_, screen), height = DisplayHeight(display_, screen);
            const int x = ToPointerCoordinate(static_cast<double>(dx) * width / 65535.0, 0, width - 1);
            const int y = ToPointerCoordinate(static_cast<double>(dy) * height / 65535.0, 0, height - 1);
            XTestFakeMotionEvent(display_, screen, x, y, CurrentTime);
        } else {
            XTestFakeRelativeMotionEvent(display_, ToPointerCoordinate(dx, -32768, 32767),
                                         ToPointerCoordinate(dy, -32768, 32767), CurrentTime);
        }
    }
    const std::pair<std::uint32_t, std::pair<unsigned, bool>> buttons[] = {
        {mf::LeftDown, {LeftButton, true}},     {mf::LeftUp, {LeftButton, false}},
        {mf::RightDown, {RightButton, true}},   {mf::RightUp, {RightButton, false}},
        {mf::MiddleDown, {MiddleButton, true}}, {mf::MiddleUp, {MiddleButton, false}},
    };
    for (const auto& [flag, button] : buttons)
        if (flags & flag) XTestFakeButtonEvent(display_, button.first, button.second ? True : False, CurrentTime);
    if (flags & mf::Wheel) {
        // One click per notch; a finer wheel's remainder waits for the next turn.
        const long long total = static_cast<long long>(wheelRest_) + data;
        const long long notches = total / WheelNotch;
        wheelRest_ = static_cast<int>(total - notches * WheelNotch);
        const int clicks = static_cast<int>(std::min(std::llabs(notches), MaxWheelClicks));
        if (notches > 0) Click(WheelUp, clicks);
        if (notches < 0) Click(WheelDown, clicks);
    }
    XFlush(display_);
}

int XTestInputInjector::PrimaryScreenWidth() {
    std::lock_guard lock(mutex_);
    return display_ ? DisplayWidth(display_, DefaultScreen(display_)) : 0;
}

int XTestInputInjector::PrimaryScreenHeight() {
    std::lock_guard lock(mutex_);
    return display_ ? DisplayHeight(display_, DefaultScreen(display_)) : 0;
}

}  // namespace corvala::platform::linuxos
