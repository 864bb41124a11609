#pragma once
// Reading drive serial and model texts out of what drives report.

#include <optional>
#include <string>

#include "platform/DriveIdentification.h"

namespace corvala::identity {

inline constexpr int SerialFirstWord = 10, SerialLastWord = 19;
inline constexpr int ModelFirstWord = 27, ModelLastWord = 46;

// Characters of words first..last (inclusive), two per word, high byte first,
// with trailing white space removed.
std::string IdentifyText(const platform::IdentifyWords& words, int first, int last);

// A text of a storage descriptor at `offset`: hexadecimal-encoded texts are
// decoded, plain printable texts taken as they are, anything else is empty;
// optionally swapped in pairs, then trimmed on both sides. Never reads past
// the end of the buffer.
std::string DescriptorText(const std::vector<char>& buffer, int offset, bool swapPairs);

// Collects the serial and model of the first usable drive.
class DriveSearch {
public:
    // Keeps serial and model when nothing is kept yet and the serial has a
    // letter or digit at position 1 or 20.
    void Consider(const std::string& serial, const std::string& model);
    bool HasSerial() const { return !serial_.empty(); }
    const std::string& Serial() const { return serial_; }
    const std::string& Model() const { return model_; }

private:
    std::string serial_;
    std::string model_;
};

// The decimal disk ID of a serial and model (see DeviceIdentity.h).
std::string DiskIdNumber(const std::string& serial, const std::string& model);

// Runs the drive sources in order, stopping at the first that succeeds, and
// returns the disk ID of the kept drive, or nothing.
std::optional<std::string> FindDiskIdNumber(platform::IDriveIdentification& drives);

}  // namespace corvala::identity
