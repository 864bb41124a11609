#pragma once
// The relays crsignal can hand out: those that hosts announced over their own
// connection, and those from the server's configuration as a last resort.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvala::signal {

struct Relay {
    std::string url;
    std::string username;
    std::string password;
    std::string country;  // two letters, or empty when unknown
};

class RelayDirectory {
public:
    void setConfigured(std::vector<Relay> relays) { configured_ = std::move(relays); }

    // One announcement per connection: a newer one replaces the older.
    void announce(std::uint64_t owner, Relay relay);
    void withdraw(std::uint64_t owner);
    // Relays announced to other servers of a cluster: they count as announced here.
    void setShared(std::vector<Relay> relays) { shared_ = std::move(relays); }
    // This server's own announcements, for the others.
    std::vector<Relay> announced() const;

    // Prefers an announced relay in the requester's country, then any
    // announced relay, then a configured one in that country, then any
    // configured one. Equal candidates take turns so that load spreads.
    std::optional<Relay> choose(std::string_view requesterCountry);

    std::size_t announcedCount() const { return announced_.size(); }

private:
    struct Announcement {
        std::uint64_t owner;
        Relay relay;
    };
    std::vector<Announcement> announced_;
    std::vector<Relay> shared_;
    std::vector<Relay> configured_;
    std::size_t turn_ = 0;
};

}  // namespace corvala::signal
