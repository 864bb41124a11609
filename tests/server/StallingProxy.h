#pragma once
// A TCP relay on loopback in front of a server (here Redis) that can make
// chosen connections go silent without closing them: what a peer sees when
// the far end hangs or a network path drops everything, and nothing tells
// it so. Runs its own thread.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace corvala::testing {

class StallingProxy {
public:
    explicit StallingProxy(std::uint16_t target);
    ~StallingProxy();
    StallingProxy(const StallingProxy&) = delete;
    StallingProxy& operator=(const StallingProxy&) = delete;

    std::uint16_t port() const { return port_; }
    // From now on, nothing more passes either way on the open connections
    // whose client sent `marker`; they stay open. Later connections pass.
    void stall(const std::string& marker);

private:
    void run();

    std::uint16_t target_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::mutex lock_;
    std::string marker_;  // under lock_; empty: stall nothing
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace corvala::testing
