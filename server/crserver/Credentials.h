#pragma once
// The long-term credentials of the relay: the users from the command line,
// the realm, and nonces that need no table. A nonce carries the second it
// was issued and a keyed digest of that second, so any nonce this process
// did not issue is recognised, and one older than its lifetime is stale.

#include "StunMessage.h"

#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvala::relay {

using Clock = std::chrono::steady_clock;

class Credentials {
public:
    static constexpr std::string_view kRealm = "corvala";
    static constexpr std::chrono::seconds kNonceLifetime{600};

    // `epoch` is the moment nonce times count from (the server's start).
    explicit Credentials(Clock::time_point epoch);

    void addUser(const std::string& name, const std::string& password);
    // The key of a known user, nothing for anyone else.
    std::optional<IntegrityKey> keyOf(std::string_view user) const;

    std::string issueNonce(Clock::time_point now) const;
    enum class NonceState { Valid, Stale, Foreign };
    NonceState check(std::string_view nonce, Clock::time_point now) const;

private:
    std::string sign(std::uint32_t second) const;

    Clock::time_point epoch_;
    std::array<std::uint8_t, 32> secret_{};
    std::map<std::string, IntegrityKey, std::less<>> keys_;
};

// MD5(user ":" realm ":" password), the key of the long-term mechanism.
IntegrityKey LongTermKey(std::string_view user, std::string_view realm, std::string_view password);

}  // namespace corvala::relay
