#include "HeadlessBrowser.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace engine_test {

std::string HeadlessBrowser::executable() {
  for (const char* path : {"/usr/bin/chromium", "/usr/lib/chromium/chromium"})
    if (access(path, X_OK) == 0) return path;
  return {};
}

HeadlessBrowser::HeadlessBrowser(const std::string& url, const std::string& workDir)
    : logPath_(workDir + "/browser.log") {
  const std::string binary = executable();
  if (binary.empty()) return;
  const std::string profile = "--user-data-dir=" + workDir + "/profile";
  std::vector<std::string> args = {
      binary, "--headless=new",
      // Tests run as root, where Chromium's sandbox refuses to start.
      "--no-sandbox", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--autoplay-policy=no-user-gesture-required", "--mute-audio",
      // A network with nothing but loopback: WebRTC must use it, and with
      // real addresses rather than mDNS names.
      "--allow-loopback-in-peer-connection", "--disable-features=WebRtcHideLocalIpsWithMdns",
      profile, url};
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();  // its own process group: the browser's helpers go with it
    const int out = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    setenv("HOME", workDir.c_str(), 1);  // no trace in the real home
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  pid_ = pid;
}

HeadlessBrowser::~HeadlessBrowser() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  // A generous limit for an orderly exit, then the group is killed.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(-pid_, SIGKILL);  // helpers that outlived the browser process
}

std::string HeadlessBrowser::log() const {
  std::ifstream file(logPath_);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace engine_test
