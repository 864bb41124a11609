#pragma once
// A sound server of the test's own: PulseAudio with one null sink and no
// sound card. A program pointed at it through PULSE_SERVER plays into the
// sink; the test records the sink's monitor and measures what was played.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "E2eSupport.h"

namespace corvala::e2e {

class PrivatePulseAudio {
public:
    explicit PrivatePulseAudio(const std::filesystem::path& folder);
    ~PrivatePulseAudio();

    // True once the server answers (waits up to 20 s).
    bool Ready();
    // PULSE_SERVER for the programs under test.
    const std::string& ServerAddress() const { return address_; }
    // What the sink played during `duration`: mono 16-bit samples at 16 kHz.
    std::vector<short> Record(std::chrono::milliseconds duration);
    std::string Log() const;

private:
    std::filesystem::path folder_;
    std::string address_;
    std::unique_ptr<ChildProcess> server_;
};

// The loudness of samples (root mean square, 0 to 32767) and how much of it
// lies at `frequency` Hz (0 to 1), for samples at 16 kHz.
double RootMeanSquare(const std::vector<short>& samples);
double ShareAtFrequency(const std::vector<short>& samples, double frequency);

// Writes a WAV file of a sine tone (16-bit mono, 16 kHz).
void WriteToneFile(const std::filesystem::path& path, double frequency, int seconds);

}  // namespace corvala::e2e
