#pragma once
// What every target shares: a broken property reported as a finding, and a
// reader that takes the input apart into choices and pieces.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace corvala::fuzz {

// A broken property: reported like a sanitizer finding, so that libFuzzer
// keeps the input as a crash.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

// A folder of this process for targets that go through files: in memory
// where the machine has /dev/shm (a disk-backed /tmp costs twenty times the
// executions), else in the temporary folder.
inline std::filesystem::path ScratchFolder(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path base =
        ::access(shm.c_str(), W_OK) == 0 ? shm : std::filesystem::temp_directory_path(ec);
    const std::filesystem::path folder = base / ("corvala-fuzz-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder, ec);
    // Gone when the run ends (libFuzzer leaves by exit()); a crash keeps it
    // for a look.
    static std::vector<std::filesystem::path> made;
    static const bool removeAtExit = std::atexit([] {
                                         std::error_code ignored;
                                         for (const auto& path : made) std::filesystem::remove_all(path, ignored);
                                     }) == 0;
    (void)removeAtExit;
    made.push_back(folder);
    return folder;
}

class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : FRest(reinterpret_cast<const char*>(data), size) {}

    // One byte of choices; zero once the input is used up.
    std::uint8_t Byte() {
        if (FRest.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(FRest.front());
        FRest.remove_prefix(1);
        return b;
    }
    // Up to `n` bytes.
    std::string_view Take(std::size_t n) {
        const std::string_view piece = FRest.substr(0, n);
        FRest.remove_prefix(piece.size());
        return piece;
    }
    // The bytes up to the next `separator` (dropped), or the rest.
    std::string_view Until(char separator) {
        const std::size_t end = FRest.find(separator);
        const std::string_view piece = FRest.substr(0, end);
        FRest.remove_prefix(end == std::string_view::npos ? FRest.size() : end + 1);
        return piece;
    }
    std::string_view Rest() {
        const std::string_view rest = FRest;
        FRest = {};
        return rest;
    }
    bool Empty() const { return FRest.empty(); }

private:
    std::string_view FRest;
};

}  // namespace corvala::fuzz
