#pragma once
// What the program draws at random: device IDs, passwords and relay
// credentials. Everything comes from the operating system's cryptographic
// generator, so that nothing a peer can see (the published device ID, the
// time of the first start) tells anything about a password.

#include <random>
#include <string>
#include <string_view>

namespace corvala::identity {

// The operating system's generator (getrandom) as a standard random-bit
// generator; each call asks the kernel afresh.
class SystemRandom {
public:
    using result_type = unsigned int;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~result_type(0); }
    result_type operator()();
};

class RandomCredentials {
public:
    // Nine decimal digits (a leading zero is possible).
    static std::string MakeDeviceId();
    // Six characters of "123456789qwrtphnmvgdfxzcaiuey".
    static std::string RandomCredential();

    // Same, from a given generator (tests).
    template <typename Generator>
    static std::string MakeDeviceId(Generator& generator) {
        return Draw(generator, "0123456789", 9);
    }
    template <typename Generator>
    static std::string RandomCredential(Generator& generator) {
        return Draw(generator, CredentialAlphabet, 6);
    }

    static constexpr const char* CredentialAlphabet = "123456789qwrtphnmvgdfxzcaiuey";

private:
    template <typename Generator>
    static std::string Draw(Generator& generator, std::string_view alphabet, int count) {
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
        std::string out;
        for (int i = 0; i < count; ++i) out += alphabet[pick(generator)];
        return out;
    }
};

}  // namespace corvala::identity
