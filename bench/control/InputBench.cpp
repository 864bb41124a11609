// Host input figures, a plain program: how long one received input message
// takes from the parser to the event arriving at an X client on an Xvfb
// display (key press, button press, absolute move), and how fast the parser
// alone runs. Prints median and 99th percentile in microseconds.
//
//   build/bench/control_input_bench [iterations]
#include "control/HostInput.h"
#include "platform/linux/XTestInputInjector.h"

#include "X11EventRecorder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median, p99;
};

Figures Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[std::min(samples.size() - 1, samples.size() * 99 / 100)]};
}

class NullInjector : public corvala::platform::IInputInjector {
public:
    void InjectVirtualKey(std::uint16_t, bool, bool) override {}
    void InjectCharacter(char16_t, bool) override {}
    void InjectMouseInput(std::uint32_t, int, int, std::int32_t) override {}
    int PrimaryScreenWidth() override { return 1920; }
    int PrimaryScreenHeight() override { return 1080; }
};

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 2000;
    corvala::e2e::XvfbDisplay display(1280, 800);
    corvala::testing_support::EventRecorder recorder(display.name());
    corvala::platform::linuxos::XTestInputInjector injector(display.name());
    if (!recorder.Ready() || !injector.Available()) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    corvala::HostInput input(injector, [] { return false; });

    // One message, then the time until its first event is seen; the paired
    // message (release, move back) is taken outside the measurement.
    const auto measure = [&](const char* name, const QString& message, const QString& undo) {
        std::vector<double> samples;
        samples.reserve(static_cast<std::size_t>(iterations));
        for (int i = 0; i < iterations; ++i) {
            const auto start = Clock::now();
            input.ParseAndInject(message);
            if (recorder.Take(1).empty()) {
                std::fprintf(stderr, "%s: event lost\n", name);
                std::exit(1);
            }
            samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            input.ParseAndInject(undo);
            recorder.Take(1);
        }
        const Figures f = Summarise(samples);
        std::printf("%-34s median %8.1f us   p99 %8.1f us   (%d messages)\n", name, f.median, f.p99, iterations);
    };
    measure("key press to X client", "K65", "k65");
    measure("button press to X client", "L", "l");
    measure("absolute move to X client", "x100y100", "x200y200");

    NullInjector none;
    corvala::HostInput parseOnly(none, [] { return false; });
    const QString message = QStringLiteral("x1234y567LK65k65W-120c\u00e9");
    const int rounds = iterations * 100;
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) parseOnly.ParseAndInject(message);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-34s %8.0f messages/s (9 events each)\n", "parser alone", rounds / seconds);
    return 0;
}
