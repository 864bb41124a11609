#include "control/HostInput.h"

#include "control/DateTime.h"
#include "screen/Rounding.h"

#include <utility>

namespace corvala {

namespace mf = platform::mouse_flags;

namespace {

// The dedicated navigation keys (Page Up .. Down, Insert, Delete) whose codes
// the numeric pad shares: injected as extended keys.
bool IsExtendedKey(int code) { return (code >= 33 && code <= 40) || code == 45 || code == 46; }

struct ButtonFlags {
    MouseButton button;
    std::uint32_t down;
    std::uint32_t up;
};
constexpr ButtonFlags Buttons[] = {
    {MouseButton::Left, mf::LeftDown, mf::LeftUp},
    {MouseButton::Right, mf::RightDown, mf::RightUp},
    {MouseButton::Middle, mf::MiddleDown, mf::MiddleUp},
};

}  // namespace

HostInput::HostInput(platform::IInputInjector& injector, std::function<bool()> lockScreenMode,
                     std::function<double()> now)
    : injector_(injector),
      lockScreenMode_(std::move(lockScreenMode)),
      mouseTable_(now ? now : MonotonicDateTime),
      keyTable_(now ? now : MonotonicDateTime) {}

void HostInput::ParseAndInject(const QString& message, const QString& sender) {
    FSender = sender;
    ParseInputTokens(message, *this);
}

void HostInput::InputKey(std::uint16_t virtualKey, bool up) {
    QList<std::uint16_t>& keys = FHeld[FSender].keys;
    if (up)
        keys.removeAll(virtualKey);
    else if (!keys.contains(virtualKey))
        keys.append(virtualKey);
    InjectKey(virtualKey, up, IsExtendedKey(virtualKey), false);
}

void HostInput::InputCharacter(char16_t unit) {
    InjectKey(unit, false, false, true);
    InjectKey(unit, true, false, true);
}

void HostInput::InputButton(MouseButton button, bool up) {
    for (const ButtonFlags& flags : Buttons) {
        if (flags.button != button) continue;
        QList<MouseButton>& buttons = FHeld[FSender].buttons;
        if (up)
            buttons.removeAll(button);
        else if (!buttons.contains(button))
            buttons.append(button);
        InjectMouse(up ? flags.up : flags.down, 0);
    }
}

void HostInput::InputMoveMode(bool relative) { relativeMouseMode_.store(relative, std::memory_order_relaxed); }

void HostInput::InputMove(int x, int y) {
    pendingMoveX_.store(x, std::memory_order_relaxed);
    pendingMoveY_.store(y, std::memory_order_relaxed);
    if (!lockScreenMode_()) InjectPendingMove();
}

void HostInput::InputWheel(int delta) { InjectMouse(mf::Wheel, delta); }

void HostInput::ReleaseHeldInput(const QString& sender) {
    const Held held = FHeld.take(sender);
    for (qsizetype i = held.keys.size() - 1; i >= 0; --i)
        InjectKey(held.keys[i], true, IsExtendedKey(held.keys[i]), false);
    for (MouseButton button : held.buttons)
        for (const ButtonFlags& flags : Buttons)
            if (flags.button == button) InjectMouse(flags.up, 0);
}

void HostInput::InjectKey(std::uint16_t code, bool up, bool extended, bool character) {
    const KeyReplayEvent event{code, up, extended, character};
    if (lockScreenMode_()) {
        keyTable_.Put(event);
        return;
    }
    SendKey(event);
}

void HostInput::SendKey(const KeyReplayEvent& event) {
    if (event.character)
        injector_.InjectCharacter(static_cast<char16_t>(event.code), event.up);
    else
        injector_.InjectVirtualKey(event.code, event.up, event.extended);
}

void HostInput::InjectMouse(std::uint32_t flags, std::int32_t data) {
    if (lockScreenMode_()) {
        mouseTable_.Put({flags, data});
        return;
    }
    injector_.InjectMouseInput(flags, 0, 0, data);
}

void HostInput::InjectPendingMove() {
    const int x = pendingMoveX_.load(std::memory_order_relaxed);
    const int y = pendingMoveY_.load(std::memory_order_relaxed);
    if (relativeMouseMode_.load(std::memory_order_relaxed)) {
        injector_.InjectMouseInput(mf::Move, x, y, 0);
    } else {
        const int width = injector_.PrimaryScreenWidth();
        const int height = injector_.PrimaryScreenHeight();
        // A screen that cannot be measured gets no absolute move rather than
        // a division by zero.
        if (width > 0 && height > 0)
            injector_.InjectMouseInput(mf::Move | mf::AbsolutePosition, RoundHalfEven(65535.0 / width * x),
                                       RoundHalfEven(65535.0 / height * y), 0);
    }
    pendingMoveX_.store(0, std::memory_order_relaxed);
    pendingMoveY_.store(0, std::memory_order_relaxed);
}

void HostInput::ReplayDeferredInput() {
    if (pendingMoveX_.load(std::memory_order_relaxed) != 0 && pendingMoveY_.load(std::memory_order_relaxed) != 0)
        InjectPendingMove();
    mouseTable_.Drain([this](const MouseReplayEvent& e) { injector_.InjectMouseInput(e.flags, 0, 0, e.data); });
    keyTable_.Drain([this](const KeyReplayEvent& e) { SendKey(e); });
}

void HostInput::ClearReplayTables() {
    mouseTable_.Clear();
    keyTable_.Clear();
}

}  // namespace corvala
