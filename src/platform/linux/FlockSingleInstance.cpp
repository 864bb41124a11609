#include "platform/linux/FlockSingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace corvala::platform::linuxos {

FlockSingleInstance::FlockSingleInstance(std::filesystem::path lockFile)
    : lockFile_(std::move(lockFile)) {}

FlockSingleInstance::~FlockSingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}

bool FlockSingleInstance::CreateAndTestExisting() {
    if (fd_ < 0) {
        // World-writable like the original's permissive marker, so copies
        // started under other accounts see each other.
        fd_ = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return false;  // no marker possible: behave as the only copy
        ::fchmod(fd_, 0666);
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd_, LOCK_SH);  // downgrade: later copies must see us
        return false;
    }
    // Someone holds it. Join the holders; a momentary exclusive holder (a copy
    // in its own test) lets go at once, so a few retries suffice.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::flock(fd_, LOCK_SH | LOCK_NB) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace corvala::platform::linuxos
