// crsignal: the signalling server Corvala copies keep one TLS connection to.
#include "ServerOptions.h"
#include "SignalServer.h"
#include "WebSocketGateway.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

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
        const unsigned count = options->threads ? options->threads : std::max(1u, std::thread::hardware_concurrency());
        std::vector<std::unique_ptr<asio::io_context>> loops;
        std::vector<asio::io_context*> contexts;
        for (unsigned i = 0; i < count; ++i) contexts.push_back(loops.emplace_back(std::make_unique<asio::io_context>(1)).get());
        corvala::signal::SignalServer server(contexts, *options);
        asio::signal_set signals(*contexts.front(), SIGINT, SIGTERM);
        signals.async_wait([&](const asio::error_code&, int) { server.stop(); });
        server.start();
        std::cout << "crsignal listening on " << options->bindAddress << ':' << server.port() << std::endl;
        std::unique_ptr<corvala::signal::WebSocketGateway> browsers;
        if (options->webSocketPort) {
            browsers = std::make_unique<corvala::signal::WebSocketGateway>(
                corvala::signal::WebSocketOptionsFor(*options),
                [&contexts, &server](int fd, const std::string& address) {
                    asio::post(*contexts.front(), [&server, fd, address] {
                        server.adoptPlain(fd, corvala::signal::SourceOf(asio::ip::make_address(address)));
                    });
                });
            browsers->start();
            std::cout << "crsignal listening for browsers on wss://" << options->bindAddress << ':'
                      << browsers->port() << std::endl;
        }
        std::vector<std::thread> workers;
        for (unsigned i = 1; i < count; ++i)
            workers.emplace_back([io = contexts[i]] {
                try {
                    io->run();
                } catch (const std::exception& e) {
                    std::cerr << "crsignal: " << e.what() << '\n';
                    std::_Exit(1);
                }
            });
        contexts.front()->run();
        for (auto& w : workers) w.join();
        if (browsers) browsers->stop();
    } catch (const std::exception& e) {
        std::cerr << "crsignal: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
