#pragma once
// Budgets of the relay: a token bucket that gains `rate` units a second and
// holds at most one second's worth, and one such bucket per source address
// for the answers the relay gives to requests it could not authenticate
// (a challenge is larger than the request that drew it, so a forged source
// could otherwise turn the relay into an amplifier).

#include "Credentials.h"

#include <asio/ip/address.hpp>

#include <cstddef>
#include <map>

namespace corvala::relay {

class RateBudget {
public:
    RateBudget(double perSecond, Clock::time_point now) : rate_(perSecond), budget_(perSecond), refilled_(now) {}
    // Takes `amount` if the budget holds it; otherwise takes nothing.
    bool spend(double amount, Clock::time_point now);
    bool full(Clock::time_point now) const;

private:
    double level(Clock::time_point now) const;
    double rate_;
    double budget_;
    Clock::time_point refilled_;
};

class SourceBudgets {
public:
    // `perSource` answers a second to one address, `total` to all; at most
    // `maxSources` addresses are tracked (beyond, new ones wait for room).
    SourceBudgets(double perSource, double total, std::size_t maxSources, Clock::time_point now);
    bool allow(const asio::ip::address& source, Clock::time_point now);
    std::size_t tracked() const { return sources_.size(); }

private:
    double perSource_;
    std::size_t maxSources_;
    RateBudget total_;
    std::map<asio::ip::address, RateBudget> sources_;
};

}  // namespace corvala::relay
