// The relay hosting's component test runs in network, PID and mount
// namespaces of its own: besides loopback the namespace has a "public"
// address, 10.78.0.1 on one end of a veth pair, under which the web service
// sees the test and probes its relay, and its /proc holds only the test's
// own processes, so that relays of other tests on this machine are neither
// found nor ended. The process re-executes itself under `unshare` before
// main() runs.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

__attribute__((constructor)) void enterPublicAddressNamespace() {
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
    std::vector<const char*> argv = {
        "unshare", "-rn", "-p", "--fork", "--kill-child", "--mount-proc", "sh", "-c",
        "ip link set lo up && ip link add crpub0 type veth peer name crpub1 && "
        "ip addr add 10.78.0.1/24 dev crpub0 && ip link set crpub0 up && ip link set crpub1 up && "
        "exec \"$0\" \"$@\"",
        self};
    for (size_t i = 1; i < args.size(); ++i) argv.push_back(args[i].c_str());
    argv.push_back(nullptr);
    execvp("unshare", const_cast<char* const*>(argv.data()));
    std::perror("unshare");
    std::_Exit(2);
}

}  // namespace
