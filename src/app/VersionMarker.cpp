#include "app/VersionMarker.h"

#include <fstream>
#include <iterator>
#include <string>

#ifndef CORVALA_VERSION_NUMBER
#error "CORVALA_VERSION_NUMBER must be defined by the build"
#endif

#define CORVALA_STR2(x) #x
#define CORVALA_STR(x) CORVALA_STR2(x)

// Kept in the executable even though nothing refers to it.
extern "C" __attribute__((used)) const char CorvalaVersionMarker[] =
    "CORVALA-VERSION:" CORVALA_STR(CORVALA_VERSION_NUMBER);

namespace corvala {

int OwnVersionNumber() {
    // Read from the marker itself rather than from the macro, so that the
    // version a file reports is the version it runs as, also for a copy
    // whose marker was rewritten after the build. The volatile reads keep
    // the compiler from folding them into the constant.
    std::string marker(sizeof CorvalaVersionMarker, '\0');
    const volatile char* bytes = CorvalaVersionMarker;
    for (std::size_t i = 0; i < marker.size(); ++i) marker[i] = bytes[i];
    return FindVersionNumber(marker).value_or(CORVALA_VERSION_NUMBER);
}

std::optional<int> FindVersionNumber(std::string_view bytes) {
    // Assembled at run time so that this key itself is not a marker.
    std::string key = "CORVALA-";
    key += "VERSION:";
    for (std::size_t at = bytes.find(key); at != std::string_view::npos;
         at = bytes.find(key, at + 1)) {
        std::size_t p = at + key.size();
        int number = 0, digits = 0;
        while (p < bytes.size() && bytes[p] >= '0' && bytes[p] <= '9' && digits < 6) {
            number = number * 10 + (bytes[p] - '0');
            ++p;
            ++digits;
        }
        if (digits > 0 && p < bytes.size() && bytes[p] == '\0') return number;
    }
    return std::nullopt;
}

std::optional<int> ReadVersionNumber(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    try {
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return FindVersionNumber(bytes);
    } catch (const std::exception&) {  // a read error inside the stream
        return std::nullopt;
    }
}

}  // namespace corvala
