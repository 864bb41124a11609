#pragma once
// Cuts the received byte stream into signalling lines: a line ends at LF, a
// CR right before the LF is dropped, and a line longer than the wire limit is
// an error for the whole stream (its end cannot be found safely any more).

#include <QByteArray>

#include <optional>

namespace corvala {

class LineFramer {
public:
    explicit LineFramer(qsizetype maxLineLength);

    void append(const char* data, qsizetype size);
    // The next complete line without its line end.
    std::optional<QByteArray> takeLine();
    // True once a line longer than the limit was seen (complete or not).
    bool overflowed() const { return overflowed_; }

private:
    qsizetype max_;
    QByteArray buffer_;
    qsizetype scanned_ = 0;  // bytes of buffer_ already known to hold no LF
    bool overflowed_ = false;
};

}  // namespace corvala
