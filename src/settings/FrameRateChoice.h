#pragma once
// The frame rate a host captures its screen with: the user's choice among a
// few rates, kept in a small text file of our own beside "set.dt" so that
// the sealed settings record keeps its layout.
//
// File format ("video.conf", UTF-8, at most MaxFileSize bytes): one
// `key=value` per line, blanks around both ignored; empty lines and lines
// starting with "#" are comments; unknown keys are ignored. The one key:
//   frame_rate=10 | 30 | 60
// A missing, unreadable, oversized or out-of-range file means DefaultRate;
// when a key repeats, its last line counts. The file is replaced whole and
// atomically, so a crash while writing leaves the old choice.

#include <QString>

#include <array>

namespace corvala {

class FrameRateChoice {
public:
    static constexpr int DefaultRate = 10;
    static constexpr std::array<int, 3> Rates = {10, 30, 60};
    static constexpr const char* FileName = "video.conf";
    static constexpr qint64 MaxFileSize = 4096;

    // Reads the file at `filePath`.
    explicit FrameRateChoice(QString filePath);

    int Rate() const { return FRate; }
    static bool Offered(int rate);

    // Makes `rate` the choice and writes the file. A rate not offered is
    // refused (false, nothing changes); a failed write keeps the new rate
    // for this run and answers false.
    bool Choose(int rate);

private:
    int Read() const;

    QString FPath;
    int FRate = DefaultRate;
};

}  // namespace corvala
