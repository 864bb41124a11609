#pragma once
// How much of the machine the relay process uses: its processor time since
// the previous measurement as a share of the wall time and of all
// processors, and what the watchdog does with that share (withdraw the
// relay's announcement above 15.0 %, announce it again at or below).

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/types.h>

namespace corvala::relay {

// User and kernel time of a process, in 100-ns units.
struct ProcessTimes {
    std::uint64_t user = 0;
    std::uint64_t kernel = 0;
};

class ProcessTimesSource {
public:
    virtual ~ProcessTimesSource() = default;
    // Nothing when the process is gone or its times cannot be read.
    virtual std::optional<ProcessTimes> timesOf(pid_t pid) = 0;
    // A millisecond tick that wraps at 32 bits.
    virtual std::uint32_t tickMs() = 0;
    virtual int processorCount() = 0;
};

// /proc/PID/stat, the monotonic clock and the online processors.
class ProcStatTimes : public ProcessTimesSource {
public:
    std::optional<ProcessTimes> timesOf(pid_t pid) override;
    std::uint32_t tickMs() override;
    int processorCount() override;
};

// utime and stime of a /proc/PID/stat line converted to 100-ns units;
// nothing when the line is not one.
std::optional<ProcessTimes> ParseProcStat(std::string_view line, long ticksPerSecond);

class RelayLoadMeter {
public:
    // Nothing when the process's times cannot be read.
    static std::unique_ptr<RelayLoadMeter> Create(ProcessTimesSource& source, pid_t pid);

    // Percent of all processors since the last measurement; within 250 ms
    // of it, the last value again. Nothing when the times cannot be read
    // (the meter then stays as it was).
    std::optional<float> measure();

private:
    RelayLoadMeter(ProcessTimesSource& source, pid_t pid, int processors, ProcessTimes times, std::uint32_t tick);

    ProcessTimesSource& source_;
    pid_t pid_;
    int processors_;
    ProcessTimes last_;
    std::uint32_t lastTick_;
    float lastValue_ = 0;
};

// The watchdog's decision at one tick.
struct WatchdogStep {
    enum class Action { None, Withdraw, Announce } action = Action::None;
    int nextIntervalMs = 0;  // 0: unchanged
};
constexpr float kRelayLoadLimit = 15.0f;
constexpr int kWatchdogIntervalMs = 30000;
constexpr int kWithdrawnIntervalMs = 600000;
WatchdogStep DecideWatchdog(float load, bool withdrawn);

}  // namespace corvala::relay
