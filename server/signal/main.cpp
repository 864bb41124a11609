// crsignal: the signalling server Corvala copies keep one TLS connection to.
#include "ServerOptions.h"
#include "SignalServer.h"
#include "WebSocketGateway.h"

#include <sys/resource.h>

#include <csignal>
#include <iostream>
#include <memory>

namespace {

// Every client holds a descriptor for its whole life; take all the process may have.
void raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string message;
    int exitCode = 0;
    const auto options = corvala::signal::ParseServerOptions(argc, argv, message, exitCode);
    if (!options) {
        (exitCode == 0 ? std::cout : std::cerr) << message;
        return exitCode;
    }
    std::signal(SIGPIPE, SIG_IGN);
    raiseOpenFileLimit();
    try {
        asio::io_context io(1);
        corvala::signal::SignalServer server(io, *options);
        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](const asio::error_code&, int) { server.stop(); });
        server.start();
        std::cout << "crsignal listening on " << options->bindAddress << ':' << server.port() << std::endl;
        std::unique_ptr<corvala::signal::WebSocketGateway> browsers;
        if (options->webSocketPort) {
            browsers = std::make_unique<corvala::signal::WebSocketGateway>(
                corvala::signal::WebSocketOptionsFor(*options),
                [&io, &server](int fd, const std::string& address) {
                    asio::post(io, [&server, fd, address] {
                        server.adoptPlain(fd, corvala::signal::SourceOf(asio::ip::make_address(address)));
                    });
                });
            browsers->start();
            std::cout << "crsignal listening for browsers on wss://" << options->bindAddress << ':'
                      << browsers->port() << std::endl;
        }
        io.run();
        if (browsers) browsers->stop();
    } catch (const std::exception& e) {
        std::cerr << "crsignal: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
