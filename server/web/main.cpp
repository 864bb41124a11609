// crweb: the product web service (version checks, downloads, pages, tools).
#include "WebService.h"

#include <csignal>
#include <iostream>
#include <thread>

int main(int argc, char** argv) {
    std::string message;
    int exitCode = 0;
    const auto options = corvala::web::ParseWebOptions(argc, argv, message, exitCode);
    if (!options) {
        (exitCode == 0 ? std::cout : std::cerr) << message;
        return exitCode;
    }
    // SIGINT/SIGTERM are taken by a thread of their own so that the server
    // stops cleanly instead of inside a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    corvala::web::WebService service(*options);
    if (!service.valid()) {
        std::cerr << "crweb: cannot load the TLS certificate or key\n";
        return 1;
    }
    auto& server = service.server();
    int port = options->port;
    if (port == 0) port = server.bind_to_any_port(options->bindAddress);
    else if (!server.bind_to_port(options->bindAddress, port)) port = -1;
    if (port <= 0) {
        std::cerr << "crweb: cannot listen on " << options->bindAddress << ':' << options->port << '\n';
        return 1;
    }
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.stop();
    });
    std::cout << "crweb listening on " << options->bindAddress << ':' << port << std::endl;
    const bool ok = server.listen_after_bind();
    pthread_kill(stopper.native_handle(), SIGTERM);  // wakes it when the server ended by itself
    stopper.join();
    return ok ? 0 : 1;
}
