// The lock-screen capture thread: it copies and replays only while the copy
// window shows, keeps the last picture when a copy fails, draws the arrow in
// relative mouse mode, and ends on EventsSuspended. Run under TSan too.
#include "screen/ScreenshotThread.h"

#include "base/ProcessState.h"

#include <gtest/gtest.h>

#include <atomic>

namespace corvala {
namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Pictures of one pixel whose value counts the copies; failing on request.
class CountingCapture : public platform::IDesktopCapture {
public:
    std::atomic<int> copies{0};
    std::atomic<bool> fail{false};
    std::atomic<bool> lastArrow{false};
    bool CaptureDesktop(platform::DesktopPicture& target, bool drawArrowCursor) override {
        lastArrow = drawArrowCursor;
        if (fail) return false;
        target.width = target.height = 1;
        target.pixels.assign(1, static_cast<std::uint32_t>(++copies));
        return true;
    }
};

class ScreenshotThreadTest : public testing::Test {
protected:
    ~ScreenshotThreadTest() override { processState().EventsSuspended = false; }

    std::uint32_t ShownPixel() {
        std::uint32_t value = 0;
        picture.Read([&](const platform::DesktopPicture& p, unsigned long) { value = p.pixels.empty() ? 0 : p.pixels[0]; });
        return value;
    }
    unsigned long Version() {
        unsigned long v = 0;
        picture.Read([&](const platform::DesktopPicture&, unsigned long version) { v = version; });
        return v;
    }

    CountingCapture capture;
    TDesktopCopyPicture picture;
    std::atomic<int> replays{0};
    std::atomic<bool> relative{false};
    TScreenshotThread::InputReplay input{[this] { ++replays; }, [this] { return relative.load(); }};
};

TEST_F(ScreenshotThreadTest, CopiesAndReplaysOnlyWhileTheCopyWindowShows) {
    TScreenshotThread thread(capture, input, picture, 1ms);
    // Many rounds pass without the window: nothing is done.
    std::this_thread::sleep_for(20ms);  // not a synchronisation: only gives idle rounds a chance to misbehave
    EXPECT_EQ(capture.copies, 0);
    EXPECT_EQ(replays, 0);

    picture.Showing = true;
    ASSERT_TRUE(WaitUntil([&] { return ShownPixel() >= 3 && replays >= 3; }));

    // A failed copy keeps the previous picture on show.
    capture.fail = true;
    const int copiesBefore = capture.copies;
    const unsigned long version = Version();
    ASSERT_TRUE(WaitUntil([&] { return Version() > version + 2; }));
    EXPECT_EQ(ShownPixel(), static_cast<std::uint32_t>(copiesBefore));
    capture.fail = false;

    relative = true;
    ASSERT_TRUE(WaitUntil([&] { return capture.lastArrow.load(); }));
}

TEST_F(ScreenshotThreadTest, EndsForGoodOnceEventsAreSuspended) {
    picture.Showing = true;
    TScreenshotThread thread(capture, input, picture, 1ms);
    ASSERT_TRUE(WaitUntil([&] { return capture.copies > 0; }));
    processState().EventsSuspended = true;
    ASSERT_TRUE(WaitUntil([&] { return !thread.Running(); }));
    const int copies = capture.copies;
    processState().EventsSuspended = false;
    std::this_thread::sleep_for(20ms);  // not a synchronisation: an ended loop must stay ended
    EXPECT_EQ(capture.copies, copies);
}

TEST_F(ScreenshotThreadTest, DestructionEndsTheWaitBetweenRounds) {
    // A period far longer than any test (a hang fails by the test's time-out).
    picture.Showing = true;
    auto thread = std::make_unique<TScreenshotThread>(capture, input, picture, std::chrono::hours(1));
    ASSERT_TRUE(WaitUntil([&] { return replays == 1; }));
    thread.reset();
    EXPECT_EQ(capture.copies, 1);
    EXPECT_EQ(replays, 1);
}

// The input belongs to a part that comes after the thread and goes before
// it: nothing is replayed without it, and once detached it is never touched
// again, even by a round that was running meanwhile.
TEST_F(ScreenshotThreadTest, ReplaysOnlyTheAttachedInputAndNeverAfterDetaching) {
    THostCapture host(std::make_unique<CountingCapture>(), 1ms);
    host.Picture().Showing = true;
    auto shownPixel = [&] {
        std::uint32_t value = 0;
        host.Picture().Read([&](const platform::DesktopPicture& p, unsigned long) { value = p.pixels.empty() ? 0 : p.pixels[0]; });
        return value;
    };
    ASSERT_TRUE(WaitUntil([&] { return shownPixel() >= 3; }));  // rounds run without any input attached

    for (int attachment = 0; attachment < 20; ++attachment) {
        auto owned = std::make_unique<std::atomic<int>>(0);
        std::atomic<int>* counter = owned.get();
        host.Input().Attach({[counter] { ++*counter; }, [] { return true; }});
        ASSERT_TRUE(WaitUntil([&] { return counter->load() >= 2; }));
        host.Input().Detach();
        const int replayed = counter->load();
        owned.reset();  // a replay after Detach would now touch freed memory (ASan, TSan)
        EXPECT_GE(replayed, 2);
    }
}

}  // namespace
}  // namespace corvala
