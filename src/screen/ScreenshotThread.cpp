#include "screen/ScreenshotThread.h"

#include "base/ProcessState.h"

namespace corvala {

TScreenshotThread::TScreenshotThread(platform::IDesktopCapture& capture, InputReplay input,
                                     TDesktopCopyPicture& picture, std::chrono::milliseconds period)
    : capture_(capture), input_(std::move(input)), picture_(picture), periodMs_(period.count()), thread_([this] { Loop(); }) {}

TScreenshotThread::~TScreenshotThread() {
    {
        std::lock_guard lock(stopMutex_);
        stop_ = true;
    }
    stopSignal_.notify_all();
    thread_.join();
}

void TScreenshotThread::Loop() {
    for (;;) {
        if (processState().EventsSuspended) break;
        if (picture_.Showing.load()) {
            // One X display is one desktop: the thread is always on the input
            // desktop. A failed copy leaves the previous picture in place.
            capture_.CaptureDesktop(FScrBmp, input_.RelativeMouseMode && input_.RelativeMouseMode());
            picture_.Store(FScrBmp);
            if (input_.ReplayDeferredInput) input_.ReplayDeferredInput();
        }
        std::unique_lock lock(stopMutex_);
        if (stopSignal_.wait_for(lock, CurrentPeriod(), [this] { return stop_; })) break;
    }
    running_ = false;
}

void TReplayTarget::Attach(TScreenshotThread::InputReplay input) {
    std::lock_guard lock(mutex_);
    input_ = std::move(input);
}

void TReplayTarget::Detach() {
    std::lock_guard lock(mutex_);
    input_ = {};
}

TScreenshotThread::InputReplay TReplayTarget::Port() {
    TScreenshotThread::InputReplay port;
    port.ReplayDeferredInput = [this] {
        std::lock_guard lock(mutex_);
        if (input_.ReplayDeferredInput) input_.ReplayDeferredInput();
    };
    port.RelativeMouseMode = [this] {
        std::lock_guard lock(mutex_);
        return input_.RelativeMouseMode && input_.RelativeMouseMode();
    };
    return port;
}

THostCapture::THostCapture(std::unique_ptr<platform::IDesktopCapture> capture, std::chrono::milliseconds period)
    : capture_(std::move(capture)), thread_(*capture_, input_.Port(), picture_, period) {}

}  // namespace corvala
