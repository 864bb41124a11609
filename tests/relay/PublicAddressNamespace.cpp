// The relay hosting's component test runs in network, PID and mount
// namespaces of its own: besides loopback the namespace has a "public"
// address, 10.78.0.1 on one end of a veth pair, under which the web service
// sees the test and probes its relay, and its /proc holds only the test's
// own processes, so that relays of other tests on this machine are neither
// found nor ended. The process re-executes itself under `unshare` before
// main() runs.
#include "../../engine/tests/NamespaceReexec.h"

namespace {

__attribute__((constructor)) void enterPublicAddressNamespace() {
    ReexecInNamespace({"unshare", "-rn", "-p", "--fork", "--kill-child", "--mount-proc", "sh", "-c",
                       "ip link set lo up && ip link add crpub0 type veth peer name crpub1 && "
                       "ip addr add 10.78.0.1/24 dev crpub0 && ip link set crpub0 up && ip link set crpub1 up && "
                       "exec \"$0\" \"$@\""});
}

}  // namespace
