#pragma once
// What the machine's fixed drives report about themselves, for the machine
// fingerprint. Each source answers for the drives 0 to 15 it can reach.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvala::platform {

// The 256 words of an ATA IDENTIFY answer, in host order.
using IdentifyWords = std::array<std::uint16_t, 256>;

// A storage device descriptor: a byte buffer with the offsets of its texts
// (0 = absent), like the one the system's storage property query returns.
struct StorageDescriptor {
    std::vector<char> buffer;
    int vendorOffset = 0;
    int productOffset = 0;
    int revisionOffset = 0;
    int serialOffset = 0;
    // The serial arrives with its characters swapped in pairs (older systems).
    bool serialSwapped = false;
};

class IDriveIdentification {
public:
    virtual ~IDriveIdentification() = default;
    // IDENTIFY answers through the privileged drive interface, one entry per
    // drive that answered. Empty when no drive answered or access is denied.
    virtual std::vector<IdentifyWords> IdentifyWithRights() = 0;
    // IDENTIFY answers through the SCSI pass-through interface.
    virtual std::vector<IdentifyWords> IdentifyThroughPassThrough() = 0;
    // Device descriptors readable without rights.
    virtual std::vector<StorageDescriptor> StorageDescriptors() = 0;
};

}  // namespace corvala::platform
