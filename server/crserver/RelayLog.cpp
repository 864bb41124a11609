#include "RelayLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

namespace corvala::relay {
namespace {

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) return false;
        text.remove_prefix(std::size_t(n));
    }
    return true;
}

}  // namespace

RelayLog::RelayLog(std::size_t linesPerSecond) : throttle_(linesPerSecond) {}

void RelayLog::PrepareOutput() {
    struct stat st {};
    // A terminal or file shared with others keeps its mode.
    if (fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        const int flags = fcntl(STDOUT_FILENO, F_GETFL);
        if (flags >= 0) fcntl(STDOUT_FILENO, F_SETFL, flags | O_NONBLOCK);
    }
}

void RelayLog::marker() {
    if (!writeAll(STDOUT_FILENO, std::string(kMarker) + "\n")) ++markersLost_;
}

void RelayLog::refused(const std::string& what) {
    std::size_t heldBack = 0;
    if (!throttle_.allow(signal::LogThrottle::Clock::now(), heldBack)) return;
    std::string line = "crserver: refused " + what;
    if (heldBack) line += " (" + std::to_string(heldBack) + " more refusals not shown)";
    writeAll(STDERR_FILENO, line + "\n");
}

void RelayLog::note(const std::string& what) { writeAll(STDERR_FILENO, "crserver: " + what + "\n"); }

}  // namespace corvala::relay
