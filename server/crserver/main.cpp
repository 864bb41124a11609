// crserver: the TURN relay a host runs for the whole network.
//   crserver -public-ip ADDRESS -port PORT -users NAME=PASSWORD
// Serves TURN over UDP and TCP on PORT until SIGTERM or SIGINT; ADDRESS (the
// host's public IPv4 address) is what relayed addresses are made of.
#include "RelayLog.h"
#include "TurnServer.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace {

std::optional<corvala::relay::ServerSetup> Parse(int argc, char** argv) {
    corvala::relay::ServerSetup setup;
    bool haveIp = false, havePort = false, haveUser = false;
    if (argc % 2 != 1) return std::nullopt;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i], value = argv[i + 1];
        if (flag == "-public-ip") {
            asio::error_code ec;
            setup.publicIp = asio::ip::make_address_v4(value, ec);
            if (ec) return std::nullopt;
            haveIp = true;
        } else if (flag == "-port") {
            std::size_t used = 0;
            int port = 0;
            try {
                port = std::stoi(value, &used);
            } catch (const std::exception&) {
                return std::nullopt;
            }
            if (used != value.size() || port <= 0 || port > 65535) return std::nullopt;
            setup.port = std::uint16_t(port);
            havePort = true;
        } else if (flag == "-users") {
            const auto eq = value.find('=');
            if (eq == std::string::npos || eq == 0) return std::nullopt;
            setup.user = value.substr(0, eq);
            setup.password = value.substr(eq + 1);
            haveUser = true;
        } else {
            return std::nullopt;
        }
    }
    if (!haveIp || !havePort || !haveUser) return std::nullopt;
    return setup;
}

}  // namespace

int main(int argc, char** argv) {
    const auto setup = Parse(argc, argv);
    if (!setup) {
        std::fprintf(stderr, "usage: crserver -public-ip IPV4-ADDRESS -port PORT -users NAME=PASSWORD\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    try {
        asio::io_context io(1);
        corvala::relay::TurnServer server(io, *setup);
        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](const asio::error_code&, int) { server.stop(); });
        server.start();
        std::cout << "crserver listening on 0.0.0.0:" << setup->port << std::endl;
        corvala::relay::RelayLog::PrepareOutput();
        io.run();
    } catch (const std::exception& e) {
        std::cerr << "crserver: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
