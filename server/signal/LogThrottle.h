#pragma once
// Keeps the log of refused input readable and bounded: a client can make the
// server refuse things far faster than anyone reads a log, so at most a given
// number of such lines per second are written and the rest only counted; the
// next line written says how many were held back.

#include <chrono>
#include <cstddef>

namespace corvala::signal {

class LogThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit LogThrottle(std::size_t linesPerSecond) : perSecond_(linesPerSecond) {}

    // True when a line may be written now; `heldBack` then tells how many
    // lines were suppressed since the last one written.
    bool allow(Clock::time_point now, std::size_t& heldBack) {
        if (now - windowStart_ >= std::chrono::seconds(1)) {
            windowStart_ = now;
            written_ = 0;
        }
        if (written_ >= perSecond_) {
            ++suppressed_;
            return false;
        }
        ++written_;
        heldBack = suppressed_;
        suppressed_ = 0;
        return true;
    }

private:
    std::size_t perSecond_;
    Clock::time_point windowStart_{};
    std::size_t written_ = 0;
    std::size_t suppressed_ = 0;
};

}  // namespace corvala::signal
