#pragma once
// Deferred input of a locked host: fixed tables of slots that the main thread
// fills and the capture thread replays, handed over without a lock by two
// stamps per slot.
//
// Stamps are date-times (days since 30 Dec 1899). A slot is pending when its
// written stamp is greater than its processed stamp, or either is not a
// number; otherwise it is free. The producer writes the payload and then the
// written stamp (release); the consumer reads the written stamp (acquire),
// copies the payload and only then publishes the processed stamp (release),
// which the producer reads (acquire) before it reuses the slot.
//
// Two stamp rules keep events from being lost or replayed twice even when
// the clock does not move between two writes or goes back (local time):
// a written stamp is always above the slot's processed stamp, and the
// processed stamp is never below the written stamp it answers.

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>

namespace corvala {

struct alignas(8) MouseReplayEvent {
    std::uint32_t flags = 0;
    std::int32_t data = 0;
};

struct alignas(8) KeyReplayEvent {
    std::uint16_t code = 0;  // virtual-key code or UTF-16 code unit
    bool up = false;
    bool extended = false;
    bool character = false;
};

template <typename Event, std::size_t Slots = 100>
class ReplayTable {
    static_assert(std::atomic<Event>::is_always_lock_free, "slot payloads must copy without a lock");

public:
    using Clock = std::function<double()>;

    explicit ReplayTable(Clock now) : now_(std::move(now)) {}

    static constexpr std::size_t size() { return Slots; }

    // Producer (main thread): the first free slot takes the event. False when
    // every slot is pending: the event is lost.
    bool Put(const Event& event) {
        for (Slot& slot : slots_) {
            const double written = slot.written.load(std::memory_order_relaxed);  // only this thread writes it
            const double processed = slot.processed.load(std::memory_order_acquire);
            if (IsPending(written, processed)) continue;
            slot.event.store(event, std::memory_order_relaxed);
            slot.written.store(std::max(now_(), std::nextafter(processed, INFINITY)), std::memory_order_release);
            return true;
        }
        return false;
    }

    // Consumer (capture thread): every pending slot in slot order, each
    // handed to `replay` once.
    template <typename Replay>
    void Drain(Replay&& replay) {
        for (Slot& slot : slots_) {
            const double written = slot.written.load(std::memory_order_acquire);
            const double processed = slot.processed.load(std::memory_order_relaxed);  // only this thread writes it
            if (!IsPending(written, processed)) continue;
            const Event event = slot.event.load(std::memory_order_relaxed);
            const double stamp = std::isnan(written) ? now_() : std::max(now_(), written);
            slot.processed.store(stamp, std::memory_order_release);
            replay(event);
        }
    }

    // Every written stamp := 0 (main thread): pending events are dropped.
    void Clear() {
        for (Slot& slot : slots_) slot.written.store(0.0, std::memory_order_release);
    }

    std::size_t PendingCount() const {
        std::size_t n = 0;
        for (const Slot& slot : slots_)
            if (IsPending(slot.written.load(std::memory_order_acquire), slot.processed.load(std::memory_order_acquire)))
                ++n;
        return n;
    }

private:
    static bool IsPending(double written, double processed) {
        return std::isnan(written) || std::isnan(processed) || written > processed;
    }

    struct Slot {
        std::atomic<double> written{0.0};
        std::atomic<double> processed{0.0};
        // Atomic so that a slot cleared and refilled while the consumer still
        // copies it yields one whole event or the other, never a torn one.
        std::atomic<Event> event{};
    };

    Clock now_;
    std::array<Slot, Slots> slots_{};
};

}  // namespace corvala
