#pragma once
// The program's random generator and what it makes: device IDs, passwords
// and relay credentials.

#include <random>
#include <string>

namespace corvala::identity {

class RandomCredentials {
public:
    // Seeds the program's generator from the clock; the main window does this
    // once at creation.
    static void SeedFromClock();
    // Nine decimal digits (a leading zero is possible); empty on error.
    static std::string MakeDeviceId();
    // Six characters of "123456789qwrtphnmvgdfxzcaiuey".
    static std::string RandomCredential();

    // Same, from a given generator (tests).
    static std::string MakeDeviceId(std::mt19937& generator);
    static std::string RandomCredential(std::mt19937& generator);

    static constexpr const char* CredentialAlphabet = "123456789qwrtphnmvgdfxzcaiuey";
};

}  // namespace corvala::identity
