#pragma once
// The machine's network adapters with their hardware addresses.

#include <cstdint>
#include <string>
#include <vector>

namespace corvala::platform {

struct NetworkAdapter {
    std::string name;
    std::vector<std::uint8_t> hardwareAddress;  // empty when the adapter has none
};

class INetworkAdapters {
public:
    virtual ~INetworkAdapters() = default;
    // Adapters in the system's order, loopback excluded. Throws on failure.
    virtual std::vector<NetworkAdapter> List() = 0;
};

}  // namespace corvala::platform
