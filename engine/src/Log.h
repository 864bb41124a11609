// The engine's diagnostics go to stderr, filtered by rtc_set_debug_level.
#pragma once

#include <cstdarg>

namespace corvala::engine {

enum class LogLevel { Error = 1, Warning = 2, Info = 3, Debug = 4 };

void setLogLevel(int level);
void logMessage(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace corvala::engine
