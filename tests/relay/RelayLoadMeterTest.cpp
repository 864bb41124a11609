// The relay's load meter over a fake process-times source, the parsing of
// /proc/PID/stat, and the watchdog's rule at the 15.0 % limit.
#include "relay/RelayLoadMeter.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace corvala::relay {
namespace {

class FakeTimes : public ProcessTimesSource {
public:
    std::optional<ProcessTimes> timesOf(pid_t pid) override {
        if (pid != 42 || !readable) return std::nullopt;
        return times;
    }
    std::uint32_t tickMs() override { return tick; }
    int processorCount() override { return processors; }

    ProcessTimes times;
    std::uint32_t tick = 1000;
    int processors = 1;
    bool readable = true;
};

constexpr std::uint64_t kSecond = 10'000'000;  // in 100-ns units

TEST(RelayLoadMeter, ShareOfAllProcessorsSinceTheLastMeasurement) {
    const struct {
        const char* name;
        int processors;
        std::uint32_t startTick, elapsedMs;
        std::uint64_t userUsed, kernelUsed;
        float percent;
    } cases[] = {
        {"exactly the limit on one processor", 1, 1000, 30000, 3 * kSecond, kSecond * 3 / 2, 15.0f},
        {"the same time on four processors", 4, 1000, 30000, 3 * kSecond, kSecond * 3 / 2, 3.75f},
        {"a reported count of 0 counts as one", 0, 1000, 30000, 6 * kSecond, 0, 20.0f},
        {"idle", 2, 1000, 600000, 0, 0, 0.0f},
        {"across the tick's wrap", 1, 0xFFFFF000u, 10000, kSecond, 0, 10.0f},
        {"just at 250 ms is measured", 1, 1000, 250, kSecond / 4, 0, 100.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTimes fake;
        fake.processors = c.processors;
        fake.tick = c.startTick;
        fake.times = {5 * kSecond, 2 * kSecond};
        const auto meter = RelayLoadMeter::Create(fake, 42);
        ASSERT_TRUE(meter);
        fake.tick = c.startTick + c.elapsedMs;
        fake.times.user += c.userUsed;
        fake.times.kernel += c.kernelUsed;
        const auto value = meter->measure();
        ASSERT_TRUE(value);
        EXPECT_FLOAT_EQ(*value, c.percent);
    }
}

TEST(RelayLoadMeter, WithinAQuarterSecondTheLastValueStands) {
    FakeTimes fake;
    const auto meter = RelayLoadMeter::Create(fake, 42);
    ASSERT_TRUE(meter);
    fake.tick += 249;
    fake.times.user += kSecond;
    EXPECT_EQ(meter->measure(), 0.0f) << "no measurement yet";
    fake.tick += 9751;  // 10 s since creation
    EXPECT_FLOAT_EQ(*meter->measure(), 10.0f);
    fake.tick += 100;
    fake.times.user += kSecond;
    EXPECT_FLOAT_EQ(*meter->measure(), 10.0f);
}

TEST(RelayLoadMeter, UnreadableTimesYieldNothingAndChangeNothing) {
    FakeTimes fake;
    fake.readable = false;
    EXPECT_FALSE(RelayLoadMeter::Create(fake, 42));
    EXPECT_FALSE(RelayLoadMeter::Create(fake, 7));
    fake.readable = true;
    const auto meter = RelayLoadMeter::Create(fake, 42);
    ASSERT_TRUE(meter);
    fake.tick += 10000;
    fake.times.user += kSecond;
    fake.readable = false;
    EXPECT_FALSE(meter->measure());
    // The failed attempt left the baseline alone: the next one spans both periods.
    fake.readable = true;
    fake.tick += 10000;
    EXPECT_FLOAT_EQ(*meter->measure(), 5.0f);
}

TEST(RelayLoadMeter, ProcStatLinesAreReadPastTheCommandName) {
    const struct {
        const char* name;
        std::string line;
        std::optional<std::uint64_t> user, kernel;
    } cases[] = {
        {"plain", "4242 (crserver) S 1 4242 4242 0 -1 4194560 120 0 0 0 250 75 0 0 20 0 1 0 100 1000 10", 25000000, 7500000},
        {"name with spaces and a parenthesis", "4242 (cr server) x) R 1 1 1 0 -1 0 0 0 0 0 3 4 0 0", 300000, 400000},
        {"cut before stime", "4242 (crserver) S 1 4242 4242 0 -1 4194560 120 0 0 0 250", std::nullopt, std::nullopt},
        {"not a number", "4242 (crserver) S 1 4242 4242 0 -1 4194560 120 0 0 0 2x0 75 0", std::nullopt, std::nullopt},
        {"no name", "4242 crserver S 1 2 3", std::nullopt, std::nullopt},
        {"empty", "", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto times = ParseProcStat(c.line, 100);
        ASSERT_EQ(bool(times), bool(c.user));
        if (times) {
            EXPECT_EQ(times->user, *c.user);
            EXPECT_EQ(times->kernel, *c.kernel);
        }
    }
    // This process's own line reads, and its processor time only grows.
    ProcStatTimes proc;
    const auto before = proc.timesOf(getpid());
    ASSERT_TRUE(before);
    const auto after = proc.timesOf(getpid());
    ASSERT_TRUE(after);
    EXPECT_GE(after->user + after->kernel, before->user + before->kernel);
    EXPECT_GE(proc.processorCount(), 1);
}

TEST(RelayWatchdog, WithdrawsAboveTheLimitAndAnnouncesAtOrBelowIt) {
    using A = WatchdogStep::Action;
    const struct {
        float load;
        bool withdrawn;
        A action;
        int interval;
    } cases[] = {
        {15.01f, false, A::Withdraw, 600000}, {15.0f, false, A::None, 0}, {15.0f, true, A::Announce, 30000},
        {80.0f, true, A::None, 0},            {0.0f, true, A::Announce, 30000}, {3.0f, false, A::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.load << (c.withdrawn ? " withdrawn" : " announced"));
        const auto step = DecideWatchdog(c.load, c.withdrawn);
        EXPECT_EQ(step.action, c.action);
        EXPECT_EQ(step.nextIntervalMs, c.interval);
    }
}

}  // namespace
}  // namespace corvala::relay
