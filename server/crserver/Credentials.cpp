#include "Credentials.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <stdexcept>

namespace corvala::relay {
namespace {

constexpr std::size_t kSecondDigits = 8;
constexpr std::size_t kSignatureDigits = 16;

std::string hex(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

}  // namespace

IntegrityKey LongTermKey(std::string_view user, std::string_view realm, std::string_view password) {
    std::string input;
    input.append(user).append(":").append(realm).append(":").append(password);
    IntegrityKey key{};
    unsigned length = 0;
    EVP_Digest(input.data(), input.size(), key.data(), &length, EVP_md5(), nullptr);
    return key;
}

Credentials::Credentials(Clock::time_point epoch) : epoch_(epoch) {
    if (RAND_bytes(secret_.data(), int(secret_.size())) != 1) throw std::runtime_error("no random bytes for nonces");
}

void Credentials::addUser(const std::string& name, const std::string& password) {
    keys_[name] = LongTermKey(name, kRealm, password);
}

std::optional<IntegrityKey> Credentials::keyOf(std::string_view user) const {
    const auto it = keys_.find(user);
    if (it == keys_.end()) return std::nullopt;
    return it->second;
}

std::string Credentials::sign(std::uint32_t second) const {
    const std::uint8_t raw[4] = {std::uint8_t(second >> 24), std::uint8_t(second >> 16), std::uint8_t(second >> 8),
                                 std::uint8_t(second)};
    const auto digest = HmacSha1(secret_, raw);
    return hex(raw, 4) + hex(digest.data(), kSignatureDigits / 2);
}

std::string Credentials::issueNonce(Clock::time_point now) const {
    return sign(std::uint32_t(std::chrono::duration_cast<std::chrono::seconds>(now - epoch_).count()));
}

Credentials::NonceState Credentials::check(std::string_view nonce, Clock::time_point now) const {
    std::uint32_t second = 0;
    if (nonce.size() != kSecondDigits + kSignatureDigits) return NonceState::Foreign;
    const auto [end, ec] = std::from_chars(nonce.data(), nonce.data() + kSecondDigits, second, 16);
    if (ec != std::errc() || end != nonce.data() + kSecondDigits || sign(second) != nonce) return NonceState::Foreign;
    const auto issued = epoch_ + std::chrono::seconds(second);
    return now - issued > kNonceLifetime ? NonceState::Stale : NonceState::Valid;
}

}  // namespace corvala::relay
