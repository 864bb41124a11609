#pragma once
// What crserver writes. Standard output carries the marker line for every
// datagram that is neither STUN nor ChannelData: the program that started
// the relay watches for it to prove that the relay is reachable, and may
// stop reading the pipe afterwards, so the line is written without ever
// blocking the relay (lost when nobody reads). Standard error carries what
// the relay refused and why, within a bound of lines per second.

#include "LogThrottle.h"

#include <cstdint>
#include <string>

namespace corvala::relay {

class RelayLog {
public:
    static constexpr const char* kMarker = "error when handling datagram";

    explicit RelayLog(std::size_t linesPerSecond = 20);
    // Makes a piped standard output non-blocking.
    static void PrepareOutput();

    void marker();
    void refused(const std::string& what);
    void note(const std::string& what);

    std::uint64_t markersLost() const { return markersLost_; }

private:
    signal::LogThrottle throttle_;
    std::uint64_t markersLost_ = 0;
};

}  // namespace corvala::relay
