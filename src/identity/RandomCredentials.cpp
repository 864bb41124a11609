#include "identity/RandomCredentials.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

namespace corvala::identity {

SystemRandom::result_type SystemRandom::operator()() {
    result_type value = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    std::size_t filled = 0;
    while (filled < sizeof value) {
        const ssize_t n = ::getrandom(bytes + filled, sizeof value - filled, 0);
        if (n > 0) {
            filled += std::size_t(n);
        } else if (n < 0 && errno != EINTR) {
            // No fallback to a weaker source: a guessable password is worse
            // than none.
            throw std::runtime_error("the system's random generator is not available");
        }
    }
    return value;
}

std::string RandomCredentials::MakeDeviceId() {
    SystemRandom random;
    return MakeDeviceId(random);
}

std::string RandomCredentials::RandomCredential() {
    SystemRandom random;
    return RandomCredential(random);
}

}  // namespace corvala::identity
