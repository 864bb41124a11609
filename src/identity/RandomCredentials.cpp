#include "identity/RandomCredentials.h"

#include <chrono>
#include <cstring>

namespace corvala::identity {

namespace {
std::mt19937& ProgramGenerator() {
    static std::mt19937 generator;
    return generator;
}

std::string Draw(std::mt19937& generator, const char* alphabet, int count) {
    std::uniform_int_distribution<std::size_t> pick(0, std::strlen(alphabet) - 1);
    std::string out;
    for (int i = 0; i < count; ++i) out += alphabet[pick(generator)];
    return out;
}
}  // namespace

void RandomCredentials::SeedFromClock() {
    auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    ProgramGenerator().seed(static_cast<std::mt19937::result_type>(now ^ (now >> 32)));
}

std::string RandomCredentials::MakeDeviceId() { return MakeDeviceId(ProgramGenerator()); }
std::string RandomCredentials::RandomCredential() { return RandomCredential(ProgramGenerator()); }

std::string RandomCredentials::MakeDeviceId(std::mt19937& generator) {
    try {
        return Draw(generator, "0123456789", 9);
    } catch (...) {
        return {};
    }
}

std::string RandomCredentials::RandomCredential(std::mt19937& generator) {
    return Draw(generator, CredentialAlphabet, 6);
}

}  // namespace corvala::identity
