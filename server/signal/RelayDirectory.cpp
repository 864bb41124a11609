#include "RelayDirectory.h"

#include <algorithm>
#include <cctype>

namespace corvala::signal {
namespace {

// "XX" is what a client sends when its country lookup failed: it matches nothing.
bool knownCountry(std::string_view c) {
    return c.size() == 2 && !(std::toupper(static_cast<unsigned char>(c[0])) == 'X' &&
                              std::toupper(static_cast<unsigned char>(c[1])) == 'X');
}

bool sameCountry(std::string_view a, std::string_view b) {
    return knownCountry(a) && knownCountry(b) &&
           std::toupper(static_cast<unsigned char>(a[0])) == std::toupper(static_cast<unsigned char>(b[0])) &&
           std::toupper(static_cast<unsigned char>(a[1])) == std::toupper(static_cast<unsigned char>(b[1]));
}

}  // namespace

void RelayDirectory::announce(std::uint64_t owner, Relay relay) {
    withdraw(owner);
    announced_.push_back({owner, std::move(relay)});
}

void RelayDirectory::withdraw(std::uint64_t owner) {
    std::erase_if(announced_, [owner](const Announcement& a) { return a.owner == owner; });
}

std::vector<Relay> RelayDirectory::announced() const {
    std::vector<Relay> out;
    for (const auto& a : announced_) out.push_back(a.relay);
    return out;
}

std::optional<Relay> RelayDirectory::choose(std::string_view country) {
    std::vector<const Relay*> pick;
    auto take = [&](auto&& relays, auto&& relayOf, bool matchCountry) {
        for (const auto& r : relays) {
            const Relay& relay = relayOf(r);
            if (!matchCountry || sameCountry(relay.country, country)) pick.push_back(&relay);
        }
        return !pick.empty();
    };
    auto announcedRelay = [](const Announcement& a) -> const Relay& { return a.relay; };
    auto plain = [](const Relay& r) -> const Relay& { return r; };
    auto anyAnnounced = [&](bool matchCountry) {
        take(announced_, announcedRelay, matchCountry);
        return take(shared_, plain, matchCountry);
    };
    if (anyAnnounced(true) || anyAnnounced(false) || take(configured_, plain, true) || take(configured_, plain, false)) {
        return *pick[turn_++ % pick.size()];
    }
    return std::nullopt;
}

}  // namespace corvala::signal
