#include "relay/RelayLoadMeter.h"

#include <time.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <string>

namespace corvala::relay {
namespace {

constexpr std::uint32_t kSameValueWithinMs = 250;

}  // namespace

std::optional<ProcessTimes> ParseProcStat(std::string_view line, long ticksPerSecond) {
    // The command name is in parentheses and may itself hold spaces and ')'.
    const auto close = line.rfind(')');
    if (close == std::string_view::npos || ticksPerSecond <= 0) return std::nullopt;
    std::string_view rest = line.substr(close + 1);
    // After the name: state, then ten fields, then utime and stime.
    std::uint64_t values[2] = {};
    for (int field = 0; field < 13; ++field) {
        const auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(start);
        const auto end = std::min(rest.find(' '), rest.size());
        if (field >= 11) {
            const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + end, values[field - 11]);
            if (ec != std::errc() || ptr != rest.data() + end) return std::nullopt;
        }
        rest.remove_prefix(end);
    }
    const std::uint64_t per = 10'000'000 / std::uint64_t(ticksPerSecond);
    return ProcessTimes{values[0] * per, values[1] * per};
}

std::optional<ProcessTimes> ProcStatTimes::timesOf(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    return ParseProcStat(line, sysconf(_SC_CLK_TCK));
}

std::uint32_t ProcStatTimes::tickMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint32_t(std::uint64_t(now.tv_sec) * 1000 + std::uint64_t(now.tv_nsec) / 1'000'000);
}

int ProcStatTimes::processorCount() { return int(sysconf(_SC_NPROCESSORS_ONLN)); }

std::unique_ptr<RelayLoadMeter> RelayLoadMeter::Create(ProcessTimesSource& source, pid_t pid) {
    const int processors = source.processorCount();
    const std::uint32_t tick = source.tickMs();
    const auto times = source.timesOf(pid);
    if (!times) return nullptr;
    return std::unique_ptr<RelayLoadMeter>(new RelayLoadMeter(source, pid, processors < 1 ? 1 : processors, *times, tick));
}

RelayLoadMeter::RelayLoadMeter(ProcessTimesSource& source, pid_t pid, int processors, ProcessTimes times,
                               std::uint32_t tick)
    : source_(source), pid_(pid), processors_(processors), last_(times), lastTick_(tick) {}

std::optional<float> RelayLoadMeter::measure() {
    const std::uint32_t now = source_.tickMs();
    const std::uint32_t elapsed = now - lastTick_;  // wraps like the tick itself
    if (elapsed < kSameValueWithinMs) return lastValue_;
    const auto times = source_.timesOf(pid_);
    if (!times) return std::nullopt;
    const std::uint64_t used = (times->user + times->kernel) - (last_.user + last_.kernel);
    lastTick_ = now;
    last_ = *times;
    // 100-ns units over milliseconds, divided by 100: percent.
    lastValue_ = float(double(used) / elapsed / 100.0 / processors_);
    return lastValue_;
}

WatchdogStep DecideWatchdog(float load, bool withdrawn) {
    if (load > kRelayLoadLimit && !withdrawn) return {WatchdogStep::Action::Withdraw, kWithdrawnIntervalMs};
    if (load <= kRelayLoadLimit && withdrawn) return {WatchdogStep::Action::Announce, kWatchdogIntervalMs};
    return {};
}

}  // namespace corvala::relay
