// main() of every end-to-end test: the test re-runs itself inside a network
// namespace of its own that has only the loopback interface up, so that no
// packet of a test can leave the machine. A pair of unconnected virtual
// links with fixed addresses stands in for the network adapter that the
// program's identity needs; they stay down and carry nothing.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* InsideMarker = "CORVALA_E2E_NETNS";

const char* NamespaceSetup =
    "ip link set lo up && "
    "ip link add e2e0 address 02:00:00:00:e2:e0 type veth peer name e2e1 address 02:00:00:00:e2:e1 && "
    "exec \"$0\" \"$@\"";

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv(InsideMarker)) {
        ::setenv(InsideMarker, "1", 1);
        std::vector<char*> args = {const_cast<char*>("unshare"), const_cast<char*>("-rn"),
                                   const_cast<char*>("sh"), const_cast<char*>("-c"),
                                   const_cast<char*>(NamespaceSetup)};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("unshare", args.data());
        std::perror("unshare");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
