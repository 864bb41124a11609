#include "screen/ScreenshotThread.h"

#include "app/ProcessState.h"

namespace corvala {

TScreenshotThread::TScreenshotThread(platform::IDesktopCapture& capture, InputReplay input,
                                     TDesktopCopyPicture& picture, std::chrono::milliseconds period)
    : capture_(capture), input_(std::move(input)), picture_(picture), period_(period), thread_([this] { Loop(); }) {}

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
        if (stopSignal_.wait_for(lock, period_, [this] { return stop_; })) break;
    }
    running_ = false;
}

}  // namespace corvala
