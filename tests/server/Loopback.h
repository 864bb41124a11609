#pragma once
// 127.0.0.1:port, for the tests' own sockets.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

namespace corvala::testing {

inline sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace corvala::testing
