#pragma once
// Run-time binding of the media engine library rt.so. The program never links
// against it: every entry point is resolved by name into one process-wide
// table, and the peer-connection component is the table's only user.

#include <rtc.h>

#include <QString>

#include <stdexcept>

namespace corvala {

// One function pointer per entry point, named after it.
struct RtcApi {
#define CORVALA_RTC_POINTER(name) decltype(&::name) name = nullptr;
    RTC_FOR_EACH_ENTRY_POINT(CORVALA_RTC_POINTER)
#undef CORVALA_RTC_POINTER
};

// Raised with the user-facing text: "Can not load <path> " or
// "Load <entry point> failed!".
class MediaLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// File name of the library in the folders it is searched in.
inline constexpr const char* kMediaLibraryFileName = "rt.so";

// Where the library is loaded from: $CORVALA_ENGINE when set (tests and
// self-built engines), else rt.so in the current directory when it exists,
// else rt.so in the program folder.
QString MediaLibraryPath(const QString& programFolder);

// Opens the library at `path` and resolves all entry points, also those the
// program never calls. On failure nothing stays loaded and MediaLibraryError
// is thrown. The library is never unloaded after success.
RtcApi BindMediaLibrary(const QString& path);

// Loads and binds the library once per process; later calls return the same
// table. Throws MediaLibraryError while loading has not succeeded.
const RtcApi& MediaLibraryLoader(const QString& programFolder);

// The process-wide table; only valid after MediaLibraryLoader succeeded.
const RtcApi& Rtc();

} // namespace corvala
