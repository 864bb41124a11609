// The replay tables under load: the main thread fills slots while the
// capture thread replays them, with the real stamp clock (so slots are
// reused within the same millisecond all the time). Every event that found a free
// slot must be replayed exactly once: none lost, none doubled. Built and run under ThreadSanitizer
// too, which checks the stamp hand-over's ordering.
#include "control/HostInput.h"
#include "control/DateTime.h"

#include "fakes/RecordingInjector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace corvala {
namespace {

constexpr int Events = 20000;

template <typename Table, typename Make, typename Id>
void RunProducerAndConsumer(Make make, Id id) {
    Table table(MonotonicDateTime);
    std::vector<int> seen(Events, 0);
    std::atomic<bool> producing{true};
    std::thread capture([&] {
        // Replays until the producer is done and nothing is left.
        for (;;) {
            const bool last = !producing.load(std::memory_order_acquire);
            table.Drain([&](const auto& event) { ++seen[id(event)]; });
            if (last) break;
        }
    });
    // A refused event (every slot pending) is offered again once the capture
    // thread has had a chance to free slots, so that every event goes in.
    long long retries = 0;
    for (int i = 0; i < Events; ++i) {
        while (!table.Put(make(i))) {
            ++retries;
            std::this_thread::yield();
        }
    }
    producing.store(false, std::memory_order_release);
    capture.join();
    int wrong = 0;
    for (int i = 0; i < Events; ++i)
        if (seen[i] != 1 && ++wrong <= 5) ADD_FAILURE() << "event " << i << " replayed " << seen[i] << " times";
    EXPECT_EQ(wrong, 0);
    testing::Test::RecordProperty("retries", std::to_string(retries));
}

TEST(ReplayStress, MouseEventsAreReplayedExactlyOnce) {
    RunProducerAndConsumer<ReplayTable<MouseReplayEvent, 100>>(
        [](int i) { return MouseReplayEvent{platform::mouse_flags::Wheel, i}; },
        [](const MouseReplayEvent& e) { return e.data; });
}

TEST(ReplayStress, KeyEventsAreReplayedExactlyOnce) {
    // The key slot holds 16 bits of code plus three flags: 2^16 * 2 ids.
    RunProducerAndConsumer<ReplayTable<KeyReplayEvent, 100>>(
        [](int i) { return KeyReplayEvent{static_cast<std::uint16_t>(i & 0xFFFF), (i >> 16 & 1) != 0, (i >> 17 & 1) != 0, false}; },
        [](const KeyReplayEvent& e) { return e.code | (e.up ? 1 << 16 : 0) | (e.extended ? 1 << 17 : 0); });
}

// The whole host path: the parser defers while the capture thread replays
// the tables and the pending move at the same time.
TEST(ReplayStress, ParserAndCaptureThreadShareTheHostState) {
    testing_support::RecordingInjector injector;
    HostInput input(injector, [] { return true; });
    std::atomic<bool> producing{true};
    std::thread capture([&] {
        while (producing.load(std::memory_order_acquire)) input.ReplayDeferredInput();
        input.ReplayDeferredInput();
    });
    for (int i = 1; i <= 20000; ++i) input.ParseAndInject(QStringLiteral("x%1y%1W%1K%2").arg(i).arg(i % 200));
    producing.store(false, std::memory_order_release);
    capture.join();
    EXPECT_EQ(input.MouseReplayTable().PendingCount(), 0u);
    EXPECT_EQ(input.KeyReplayTable().PendingCount(), 0u);
    EXPECT_FALSE(injector.Take().empty());
}

}  // namespace
}  // namespace corvala
