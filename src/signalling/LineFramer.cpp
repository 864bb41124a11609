#include "signalling/LineFramer.h"

namespace corvala {

std::optional<std::string_view> LineFramer::next(std::string_view& data) {
    if (lineInPartial_) {
        lineInPartial_ = false;
        partial_.clear();
        // One long line must not pin its memory for the life of an idle connection.
        if (partial_.capacity() > 4096) partial_.shrink_to_fit();
    }
    if (overflowed_ || data.empty()) return std::nullopt;
    // Room for the longest line and the CR that may still precede its LF.
    const std::size_t room = max_ + 1;
    const auto lf = data.find('\n');
    if (lf == std::string_view::npos) {
        if (partial_.size() + data.size() > room) return overflow(data);
        partial_.append(data);
        data = {};
        if (partial_.size() == room && partial_.back() != '\r') return overflow(data);
        return std::nullopt;
    }
    std::string_view line = data.substr(0, lf);
    data.remove_prefix(lf + 1);
    if (!partial_.empty()) {
        if (partial_.size() + line.size() > room) return overflow(data);
        partial_.append(line);
        line = partial_;
        lineInPartial_ = true;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > max_) return overflow(data);
    return line;
}

std::optional<std::string_view> LineFramer::overflow(std::string_view& data) {
    overflowed_ = true;
    lineInPartial_ = false;
    partial_.clear();
    partial_.shrink_to_fit();
    data = {};
    return std::nullopt;
}

}  // namespace corvala
