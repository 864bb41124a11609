#include "platform/linux/LinuxNetworkAdapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace corvala::platform::linuxos {

std::vector<NetworkAdapter> LinuxNetworkAdapters::List() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) throw std::runtime_error(std::strerror(errno));
    std::vector<NetworkAdapter> adapters;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET) continue;
        if (entry->ifa_flags & IFF_LOOPBACK) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        NetworkAdapter adapter;
        adapter.name = entry->ifa_name;
        const std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
        adapter.hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
        adapters.push_back(std::move(adapter));
    }
    ::freeifaddrs(list);
    return adapters;
}

}  // namespace corvala::platform::linuxos
