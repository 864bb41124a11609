// Every engine test process runs in a network namespace of its own with
// nothing but loopback, so no packet of a test can leave the machine. The
// process re-executes itself under `unshare -rn` before main() runs.
#include "NamespaceReexec.h"

namespace {

__attribute__((constructor)) void enterLoopbackNamespace() {
    ReexecInNamespace({"unshare", "-rn", "sh", "-c", "ip link set lo up && exec \"$0\" \"$@\""});
}

}  // namespace
