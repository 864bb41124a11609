#pragma once
#include "platform/DesktopCapture.h"

#include <string>

typedef struct _XDisplay Display;
typedef struct _XImage XImage;

namespace corvala::platform::linuxos {

// Copies the X root window through the MIT shared-memory extension, or with
// a plain image request where shared memory is not available (a remote
// display, a separate IPC namespace). One connection of its own, used only
// by the thread that captures.
class XShmDesktopCapture : public IDesktopCapture {
public:
    explicit XShmDesktopCapture(const std::string& displayName = {});
    ~XShmDesktopCapture() override;
    XShmDesktopCapture(const XShmDesktopCapture&) = delete;
    XShmDesktopCapture& operator=(const XShmDesktopCapture&) = delete;

    bool Available() const { return display_ != nullptr; }
    bool UsesSharedMemory() const { return shmImage_ != nullptr; }

    bool CaptureDesktop(DesktopPicture& target, bool drawArrowCursor) override;

private:
    bool PrepareSharedImage(int width, int height);
    void ReleaseSharedImage();
    void DrawArrow(DesktopPicture& target);

    Display* display_ = nullptr;
    bool shmAvailable_ = false;
    XImage* shmImage_ = nullptr;
    struct Segment;
    Segment* segment_ = nullptr;
};

}  // namespace corvala::platform::linuxos
