#pragma once
// A copy of the whole local desktop, as the capture thread takes it for the
// lock-screen picture.

#include <cstdint>
#include <vector>

namespace corvala::platform {

// 32 bits per pixel, 0x00RRGGBB, rows top to bottom without padding.
struct DesktopPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

class IDesktopCapture {
public:
    virtual ~IDesktopCapture() = default;
    // Copies the desktop (desktop width x height from (0, 0)) into `target`,
    // resizing it. With `drawArrowCursor` the standard arrow is drawn at the
    // pointer position, as the relative mouse mode needs. False, with
    // `target` untouched, when the desktop cannot be read.
    virtual bool CaptureDesktop(DesktopPicture& target, bool drawArrowCursor) = 0;
};

}  // namespace corvala::platform
