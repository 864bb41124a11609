#pragma once
#include "platform/NetworkAdapters.h"

namespace corvala::platform::linuxos {

// Link-layer entries of getifaddrs, in the kernel's order, loopback skipped.
class LinuxNetworkAdapters : public INetworkAdapters {
public:
    std::vector<NetworkAdapter> List() override;
};

}  // namespace corvala::platform::linuxos
