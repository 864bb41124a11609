#pragma once
#include "platform/DesktopCapture.h"

#include <memory>
#include <string>

typedef struct _XDisplay Display;

namespace corvala::xshm {
class XShmImage;
}

namespace corvala::platform::linuxos {

// Copies the X root window through the engine's XShm capture (shared
// memory, or plain image requests where the server cannot reach ours). One
// connection of its own, whose errors do not end the process, used only by
// the thread that captures.
class XShmDesktopCapture : public IDesktopCapture {
public:
    explicit XShmDesktopCapture(const std::string& displayName = {});
    ~XShmDesktopCapture() override;
    XShmDesktopCapture(const XShmDesktopCapture&) = delete;
    XShmDesktopCapture& operator=(const XShmDesktopCapture&) = delete;

    bool Available() const { return display_ != nullptr; }
    bool UsesSharedMemory() const;

    bool CaptureDesktop(DesktopPicture& target, bool drawArrowCursor) override;

private:
    void DrawArrow(DesktopPicture& target);

    Display* display_ = nullptr;
    std::unique_ptr<xshm::XShmImage> image_;
};

}  // namespace corvala::platform::linuxos
