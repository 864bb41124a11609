// Debian's Chromium, headless, on one page: started in a process group of
// its own with a throw-away profile, stopped (the whole group) on destruction.
#pragma once

#include <string>
#include <sys/types.h>

namespace engine_test {

class HeadlessBrowser {
 public:
  // Empty when no chromium is installed.
  static std::string executable();

  HeadlessBrowser(const std::string& url, const std::string& workDir);
  ~HeadlessBrowser();
  HeadlessBrowser(const HeadlessBrowser&) = delete;
  HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

  bool running() const { return pid_ > 0; }
  // The browser's own messages, for a failing test's output.
  std::string log() const;

 private:
  pid_t pid_ = -1;
  std::string logPath_;
};

}  // namespace engine_test
