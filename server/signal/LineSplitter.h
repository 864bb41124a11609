#pragma once
// Splits a received byte stream into signalling lines: LF ends a line, a CR
// right before it is dropped, and no line may be longer than the limit.
// Complete lines are handed out straight from the caller's buffer; only an
// unfinished tail is copied.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvala::signal {

class LineSplitter {
public:
    explicit LineSplitter(std::size_t maxLine) : maxLine_(maxLine) {}

    // Calls onLine(std::string_view) for every line completed by `data`;
    // onLine returns false to stop early (the rest of `data` is dropped).
    // Returns false as soon as a line, finished or not, exceeds the limit.
    template <typename OnLine>
    bool feed(std::string_view data, OnLine&& onLine) {
        while (!data.empty()) {
            const auto nl = data.find('\n');
            if (nl == std::string_view::npos) {
                // Unfinished: it may still end in the CR of a longest line.
                if (partial_.size() + data.size() > maxLine_ + 1) return false;
                partial_.append(data);
                return partial_.size() <= maxLine_ || partial_.back() == '\r';
            }
            std::string_view line = data.substr(0, nl);
            if (!partial_.empty()) {
                if (partial_.size() + line.size() > maxLine_ + 1) return false;
                partial_.append(line);
                line = partial_;
            }
            data.remove_prefix(nl + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() > maxLine_) return false;
            const bool more = onLine(line);
            partial_.clear();
            if (partial_.capacity() > 4096) partial_.shrink_to_fit();
            if (!more) return true;
        }
        return true;
    }

private:
    std::size_t maxLine_;
    std::string partial_;
};

}  // namespace corvala::signal
