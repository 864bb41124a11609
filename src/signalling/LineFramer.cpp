#include "signalling/LineFramer.h"

namespace corvala {

LineFramer::LineFramer(qsizetype maxLineLength) : max_(maxLineLength) {}

void LineFramer::append(const char* data, qsizetype size) {
    if (overflowed_) return;
    buffer_.append(data, size);
}

std::optional<QByteArray> LineFramer::takeLine() {
    if (overflowed_) return std::nullopt;
    const qsizetype lf = buffer_.indexOf('\n', scanned_);
    if (lf < 0) {
        scanned_ = buffer_.size();
        // Room for the longest line and the CR that may still precede its LF.
        if (buffer_.size() > max_ + 1) {
            overflowed_ = true;
            buffer_.clear();
        }
        return std::nullopt;
    }
    QByteArray line = buffer_.left(lf);
    buffer_.remove(0, lf + 1);
    scanned_ = 0;
    if (line.endsWith('\r')) line.chop(1);
    if (line.size() > max_) {
        overflowed_ = true;
        buffer_.clear();
        return std::nullopt;
    }
    return line;
}

}  // namespace corvala
