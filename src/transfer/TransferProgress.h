#pragma once
// What the transfer window shows: the status line, the Abort button, the
// progress bar, and a line with the bytes, the per cent and the remaining
// time. The transfer fills it; the window only draws it.

#include <QString>

#include <cstdint>
#include <optional>

namespace corvala::transfer {

struct TransferWindowState {
    QString Caption;  // translated, as every text here
    QString Status;   // "Sending file x" / "Receiving file: x"
    bool AbortEnabled = true;
    // The receiving side fits the window's height to its three parts.
    bool Receiving = false;
    // The progress bar, 0 to 100; nothing leaves it where it is (an empty file).
    std::optional<int> Percent;
    // "12.5 MB of 1.0 GB (12 %), 0:01:10 remaining"; empty before any data.
    QString ProgressLine;
};

// TransferredBytes x 100 / TransferFileSize in floating point, rounded to
// the nearest integer with halves to even; nothing for an empty file.
std::optional<int> ProgressPercent(std::int64_t done, std::int64_t total);

// The time the rest needs at the average rate so far; nothing before a
// rate is known.
std::optional<std::int64_t> RemainingSeconds(std::int64_t done, std::int64_t total, std::int64_t elapsedMs);

QString ProgressLine(std::int64_t done, std::int64_t total, std::optional<std::int64_t> remainingSeconds);

}  // namespace corvala::transfer
