#include "StallingProxy.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace corvala::testing {
namespace {

struct Link {
    int client = -1, server = -1;
    std::string seen;  // what the client sent, kept to find the marker
    bool stalled = false;
};

// Copies what is readable on `from` to `to`; false when either end is gone.
bool pass(int from, int to, std::string* seen) {
    char buffer[16384];
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n <= 0) return false;
    if (seen && seen->size() < 65536) seen->append(buffer, static_cast<size_t>(n));
    for (ssize_t done = 0; done < n;) {
        const ssize_t w = write(to, buffer + done, static_cast<size_t>(n - done));
        if (w <= 0) return false;
        done += w;
    }
    return true;
}

}  // namespace

StallingProxy::StallingProxy(std::uint16_t target) : target_(target) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0 || pipe2(wake_, O_CLOEXEC) != 0)
        return;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

StallingProxy::~StallingProxy() {
    stop_ = true;
    if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) close(fd);
}

void StallingProxy::stall(const std::string& marker) {
    {
        std::lock_guard lock(lock_);
        marker_ = marker;
    }
    (void)!write(wake_[1], "x", 1);
}

void StallingProxy::run() {
    std::vector<Link> links;
    while (!stop_) {
        {
            std::lock_guard lock(lock_);
            for (Link& l : links)
                if (!marker_.empty() && l.seen.find(marker_) != std::string::npos) l.stalled = true;
            marker_.clear();
        }
        std::vector<pollfd> fds{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (const Link& l : links) {
            // A stalled link is left unread both ways: its data piles up in the kernel.
            fds.push_back({l.stalled ? -1 : l.client, POLLIN, 0});
            fds.push_back({l.stalled ? -1 : l.server, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), 1000) < 0) continue;
        if (fds[1].revents) {
            char drain[64];
            (void)!read(wake_[0], drain, sizeof drain);
        }
        for (size_t i = 0; i < links.size(); ++i) {
            Link& l = links[i];
            const bool ok = (!(fds[2 + 2 * i].revents) || pass(l.client, l.server, &l.seen)) &&
                            (!(fds[3 + 2 * i].revents) || pass(l.server, l.client, nullptr));
            if (!ok) {
                close(l.client);
                close(l.server);
                l.client = l.server = -1;
            }
        }
        std::erase_if(links, [](const Link& l) { return l.client < 0; });
        if (fds[0].revents) {
            const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in a = loopback(target_);
            if (client >= 0 && connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
                links.push_back({client, server, {}, false});
            } else {
                if (client >= 0) close(client);
                close(server);
            }
        }
    }
    for (const Link& l : links) {
        close(l.client);
        close(l.server);
    }
}

}  // namespace corvala::testing
