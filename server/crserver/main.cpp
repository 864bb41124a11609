// crserver: the relay process a host runs for its viewers.
//   crserver -public-ip ADDRESS -port PORT -users NAME=PASSWORD
// This build validates its command line and runs until it is asked to end
// (SIGTERM or SIGINT); the relay itself arrives with the relay work.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Options {
    std::string publicIp;
    int port = 0;
    std::string user;
    std::string password;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i], value = argv[i + 1];
        if (flag == "-public-ip") options.publicIp = value;
        else if (flag == "-port") options.port = std::atoi(value.c_str());
        else if (flag == "-users") {
            auto eq = value.find('=');
            if (eq == std::string::npos) return false;
            options.user = value.substr(0, eq);
            options.password = value.substr(eq + 1);
        } else return false;
    }
    return (argc % 2) == 1 && !options.publicIp.empty() && options.port > 0 && options.port < 65536 &&
           !options.user.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: crserver -public-ip ADDRESS -port PORT -users NAME=PASSWORD\n");
        return 2;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}
