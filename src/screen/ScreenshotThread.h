#pragma once
// The host's capture thread for lock-screen operation: while the desktop copy
// window shows, it copies the desktop into the window's picture five times a
// second (at the default frame rate; faster at the higher ones) and replays the input the main thread deferred for it. It serves
// the whole host role and ends once it finds EventsSuspended set at the top
// of a round (or when destroyed).

#include "platform/DesktopCapture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvala {

// The desktop copy window's picture, shared by the capture thread (writer)
// and the window (reader, on the main thread) under the picture's lock.
class TDesktopCopyPicture {
public:
    // The window shows or hides it (main thread); the capture thread reads it.
    std::atomic<bool> Showing{false};

    void Store(const platform::DesktopPicture& picture) {
        std::lock_guard lock(mutex_);
        picture_ = picture;
        ++version_;
    }
    // Runs `reader` with the picture under the lock (the window's paint).
    template <typename Reader>
    void Read(Reader&& reader) const {
        std::lock_guard lock(mutex_);
        reader(picture_, version_);
    }

private:
    mutable std::mutex mutex_;
    platform::DesktopPicture picture_;
    unsigned long version_ = 0;  // pictures stored so far
};

class TScreenshotThread {
public:
    static constexpr std::chrono::milliseconds Period{200};
    // The round for the frame rate the host's user chose: Period belongs to
    // the engine's default 10 frames a second, and the copy keeps that
    // proportion to the engine's sampling at the other rates.
    static constexpr std::chrono::milliseconds PeriodFor(int frameRate) {
        return frameRate > 0 ? Period * 10 / frameRate : Period;
    }

    // What the thread does with the host's input state (HostInput's
    // ReplayDeferredInput and RelativeMouseMode, both safe on this thread).
    struct InputReplay {
        std::function<void()> ReplayDeferredInput;
        std::function<bool()> RelativeMouseMode;
    };

    // Starts the loop at once. `capture` is used only by this thread.
    TScreenshotThread(platform::IDesktopCapture& capture, InputReplay input, TDesktopCopyPicture& picture,
                      std::chrono::milliseconds period = Period);
    // Stops the loop and waits for the round in progress.
    ~TScreenshotThread();
    TScreenshotThread(const TScreenshotThread&) = delete;
    TScreenshotThread& operator=(const TScreenshotThread&) = delete;

    bool Running() const { return running_.load(); }
    // Holds from the next round on.
    void SetPeriod(std::chrono::milliseconds period) { periodMs_ = period.count(); }
    std::chrono::milliseconds CurrentPeriod() const { return std::chrono::milliseconds(periodMs_.load()); }

private:
    void Loop();

    platform::IDesktopCapture& capture_;
    InputReplay input_;
    TDesktopCopyPicture& picture_;
    std::atomic<std::chrono::milliseconds::rep> periodMs_;
    platform::DesktopPicture FScrBmp;  // keeps the last picture when a capture fails
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stop_ = false;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// The deferred input belongs to the main window's remote control, which is
// made after the capture thread starts and destroyed before it ends: it
// attaches itself for its lifetime, and the thread replays nothing while
// nobody is attached. Detaching waits for a replay in progress, so that the
// thread never runs into input that is being destroyed.
class TReplayTarget {
public:
    void Attach(TScreenshotThread::InputReplay input);
    void Detach();
    // What the capture thread calls; valid as long as this object lives.
    TScreenshotThread::InputReplay Port();

private:
    std::mutex mutex_;
    TScreenshotThread::InputReplay input_;
};

// What start-up creates right after the single-instance check: the desktop
// copy window's picture, the replay target and the capture thread over the
// given desktop capture. The thread stops first when this goes.
class THostCapture {
public:
    explicit THostCapture(std::unique_ptr<platform::IDesktopCapture> capture,
                          std::chrono::milliseconds period = TScreenshotThread::Period);

    TDesktopCopyPicture& Picture() { return picture_; }
    TReplayTarget& Input() { return input_; }
    bool Running() const { return thread_.Running(); }
    // The capture thread's round, from its next round on.
    void SetPeriod(std::chrono::milliseconds period) { thread_.SetPeriod(period); }
    std::chrono::milliseconds CurrentPeriod() const { return thread_.CurrentPeriod(); }

private:
    std::unique_ptr<platform::IDesktopCapture> capture_;
    TDesktopCopyPicture picture_;
    TReplayTarget input_;
    TScreenshotThread thread_;
};

}  // namespace corvala
