#pragma once
// A private redis-server for a test: on a free loopback port, nothing saved
// to disk, killed with the object. It can be killed and started again on the
// same port, as a Redis restart looks to its clients.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace corvala::testing {

class RedisProcess {
public:
    // Starts it; port() is 0 when it did not come up.
    RedisProcess();
    ~RedisProcess();
    RedisProcess(const RedisProcess&) = delete;
    RedisProcess& operator=(const RedisProcess&) = delete;

    std::uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }
    // "redis://127.0.0.1:PORT", for crsignal --redis.
    std::string url() const;
    // SIGKILL: its clients see their connections drop; all data is gone.
    void kill();
    // Up again on the same port; false when it did not come up.
    bool start();

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace corvala::testing
