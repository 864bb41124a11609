#include "PrivatePulseAudio.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace corvala::e2e {

namespace fs = std::filesystem;

namespace {
constexpr int Rate = 16000;
}

PrivatePulseAudio::PrivatePulseAudio(const fs::path& folder) : folder_(folder) {
    fs::create_directories(folder_);
    const fs::path socket = folder_ / "native";
    address_ = "unix:" + socket.string();
    std::ofstream(folder_ / "server.pa") << "load-module module-native-protocol-unix socket=" << socket.string()
                                         << " auth-anonymous=1\n"
                                            "load-module module-null-sink sink_name=out rate=48000\n"
                                            "set-default-sink out\n";
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"pulseaudio", "-n", "-F", (folder_ / "server.pa").string(), "--daemonize=no",
                                 "--exit-idle-time=-1", "--use-pid-file=no", "--system=no"},
        std::map<std::string, std::string>{{"HOME", folder_.string()}, {"XDG_RUNTIME_DIR", folder_.string()}},
        folder_ / "pulseaudio.log");
}

PrivatePulseAudio::~PrivatePulseAudio() { server_.reset(); }

bool PrivatePulseAudio::Ready() {
    return WaitFor([&] { return RunCommand("PULSE_SERVER=" + address_ + " pactl info >/dev/null 2>&1").exitCode == 0; },
                   20s);
}

std::vector<short> PrivatePulseAudio::Record(std::chrono::milliseconds duration) {
    const fs::path file = folder_ / "recording.raw";
    fs::remove(file);
    const auto seconds = std::to_string(duration.count() / 1000.0);
    RunCommand("PULSE_SERVER=" + address_ + " timeout " + seconds +
               " parec -d out.monitor --raw --format=s16le --rate=16000 --channels=1 > '" + file.string() + "'");
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<short> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            short(std::uint16_t(std::uint8_t(bytes[2 * i])) | std::uint16_t(std::uint8_t(bytes[2 * i + 1])) << 8);
    return samples;
}

std::string PrivatePulseAudio::Log() const { return server_->Log(); }

double RootMeanSquare(const std::vector<short>& samples) {
    if (samples.empty()) return 0;
    double sum = 0;
    for (short s : samples) sum += double(s) * s;
    return std::sqrt(sum / samples.size());
}

double ShareAtFrequency(const std::vector<short>& samples, double frequency) {
    // Goertzel's power at the frequency against the signal's whole power, in
    // blocks of 20 ms: a block's band is 50 Hz wide, so the few hertz two
    // sound clocks drift apart over a recording, and the gaps a decoder
    // conceals, do not hide a tone the way one 2-second band of 0.5 Hz would.
    constexpr std::size_t Block = Rate / 50;
    const double k = 2 * std::cos(2 * M_PI * frequency / Rate);
    double atFrequency = 0, total = 0;
    for (std::size_t from = 0; from + Block <= samples.size(); from += Block) {
        double s1 = 0, s2 = 0;
        for (std::size_t i = from; i < from + Block; ++i) {
            const double s0 = samples[i] + k * s1 - s2;
            s2 = s1;
            s1 = s0;
            total += double(samples[i]) * samples[i];
        }
        atFrequency += 2 * (s1 * s1 + s2 * s2 - k * s1 * s2) / Block;
    }
    return total > 0 ? atFrequency / total : 0;
}

void WriteToneFile(const fs::path& path, double frequency, int seconds) {
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const std::uint32_t samples = std::uint32_t(Rate) * seconds;
    out.write("RIFF", 4);
    u32(36 + samples * 2);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(Rate);
    u32(Rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(samples * 2);
    for (std::uint32_t i = 0; i < samples; ++i)
        u16(std::uint16_t(std::int16_t(12000 * std::sin(2 * M_PI * frequency * i / Rate))));
}

}  // namespace corvala::e2e
