#pragma once
// Cuts a received byte stream into signalling lines, for the program and for
// crsignal alike: a line ends at LF, a CR right before the LF is dropped, and
// a line longer than the limit is an error of the whole stream (its end can
// no longer be found safely, so nothing after it counts as a line).
//
// Complete lines are handed out straight from the caller's buffer; only a
// line split over several reads is copied. Free of Qt so that the server
// shares it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvala {

namespace wire {
// Longest line either side accepts, without its line end.
inline constexpr std::size_t MaxLineLength = 16384;
}  // namespace wire

class LineFramer {
public:
    explicit LineFramer(std::size_t maxLineLength) : max_(maxLineLength) {}

    // The next complete line in `data` without its line end; `data` moves
    // past it. Bytes of an unfinished line are kept for the next call. The
    // view is valid until the next call and as long as `data`'s bytes are.
    // Nothing when `data` holds no further complete line or the stream has
    // overflowed.
    std::optional<std::string_view> next(std::string_view& data);

    // Calls onLine(std::string_view) for every line that `data` completes;
    // onLine returns false to stop early (the rest of `data` is dropped).
    // False once the stream has overflowed.
    template <typename OnLine>
    bool feed(std::string_view data, OnLine&& onLine) {
        while (const auto line = next(data))
            if (!onLine(*line)) break;
        return !overflowed_;
    }

    // True once a line longer than the limit was seen, finished or not.
    bool overflowed() const { return overflowed_; }

private:
    std::optional<std::string_view> overflow(std::string_view& data);

    std::size_t max_;
    std::string partial_;  // an unfinished line, or the last line handed out of it
    bool lineInPartial_ = false;
    bool overflowed_ = false;
};

}  // namespace corvala
