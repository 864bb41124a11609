#include "Log.h"

#include <atomic>
#include <cstdio>

namespace corvala::engine {

namespace {
std::atomic<int> currentLevel{1};
}

void setLogLevel(int level) { currentLevel = level; }

void logMessage(LogLevel level, const char* format, ...) {
  if (int(level) > currentLevel.load()) return;
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(stderr, "rt: %s\n", text);
}

}  // namespace corvala::engine
