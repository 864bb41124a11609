#include "RateBudget.h"

#include <algorithm>

namespace corvala::relay {

double RateBudget::level(Clock::time_point now) const {
    return std::min(rate_, budget_ + rate_ * std::chrono::duration<double>(now - refilled_).count());
}

bool RateBudget::spend(double amount, Clock::time_point now) {
    budget_ = level(now);
    refilled_ = now;
    if (amount > budget_) return false;
    budget_ -= amount;
    return true;
}

bool RateBudget::full(Clock::time_point now) const { return level(now) >= rate_; }

SourceBudgets::SourceBudgets(double perSource, double total, std::size_t maxSources, Clock::time_point now)
    : perSource_(perSource), maxSources_(maxSources), total_(total, now) {}

bool SourceBudgets::allow(const asio::ip::address& source, Clock::time_point now) {
    auto it = sources_.find(source);
    if (it == sources_.end()) {
        // Sources whose budget has filled up again are as if never seen.
        if (sources_.size() >= maxSources_) std::erase_if(sources_, [&](const auto& s) { return s.second.full(now); });
        if (sources_.size() >= maxSources_) return false;
        it = sources_.emplace(source, RateBudget(perSource_, now)).first;
    }
    // A source over its own budget costs the others nothing.
    return it->second.spend(1, now) && total_.spend(1, now);
}

}  // namespace corvala::relay
