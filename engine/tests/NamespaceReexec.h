#pragma once
// Test programs that need a network namespace of their own re-execute
// themselves under a command (`unshare ...`) before main() runs; the marker
// CORVALA_IN_TEST_NETNS makes that happen once. The command ends with the
// program's path and arguments, which `sh -c '... exec "$0" "$@"'` receives.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

inline void ReexecInNamespace(std::initializer_list<const char*> command) {
    if (std::getenv("CORVALA_IN_TEST_NETNS")) return;
    setenv("CORVALA_IN_TEST_NETNS", "1", 1);
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t start = 0; start < all.size();) {
        const size_t end = all.find('\0', start);
        args.push_back(all.substr(start, end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0 || args.empty()) return;
    self[n] = '\0';
    std::vector<const char*> argv(command);
    argv.push_back(self);
    for (size_t i = 1; i < args.size(); ++i) argv.push_back(args[i].c_str());
    argv.push_back(nullptr);
    execvp(argv[0], const_cast<char* const*>(argv.data()));
    std::perror(argv[0]);
    std::_Exit(2);
}
