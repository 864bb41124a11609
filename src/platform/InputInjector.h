#pragma once
// Injection of keyboard and mouse events into the local desktop's input
// stream, in the terms the data channel uses: Windows virtual-key codes,
// UTF-16 code units for typed characters, and the Windows mouse-input flags
// with their coordinate scaling (absolute positions 0..65535 over the
// primary screen).

#include <cstdint>

namespace corvala::platform {

namespace mouse_flags {
inline constexpr std::uint32_t Move = 0x0001;
inline constexpr std::uint32_t LeftDown = 0x0002;
inline constexpr std::uint32_t LeftUp = 0x0004;
inline constexpr std::uint32_t RightDown = 0x0008;
inline constexpr std::uint32_t RightUp = 0x0010;
inline constexpr std::uint32_t MiddleDown = 0x0020;
inline constexpr std::uint32_t MiddleUp = 0x0040;
inline constexpr std::uint32_t Wheel = 0x0800;
inline constexpr std::uint32_t AbsolutePosition = 0x8000;  // MOUSEEVENTF_ABSOLUTE
}  // namespace mouse_flags

class IInputInjector {
public:
    virtual ~IInputInjector() = default;
    // A key by its virtual-key code; `extended` picks the dedicated key where
    // the code also names a numeric-pad one.
    virtual void InjectVirtualKey(std::uint16_t virtualKey, bool up, bool extended) = 0;
    // One UTF-16 code unit typed as a character, independent of the layout.
    // A surrogate pair arrives as its two units in order.
    virtual void InjectCharacter(char16_t unit, bool up) = 0;
    // One mouse input: `flags` from mouse_flags; dx/dy are a relative move,
    // or with AbsolutePosition a position scaled to 0..65535; `data` the wheel delta
    // (120 per notch, positive away from the user).
    virtual void InjectMouseInput(std::uint32_t flags, int dx, int dy, std::int32_t data) = 0;
    // The primary screen's size in pixels (for absolute moves).
    virtual int PrimaryScreenWidth() = 0;
    virtual int PrimaryScreenHeight() = 0;
};

}  // namespace corvala::platform
