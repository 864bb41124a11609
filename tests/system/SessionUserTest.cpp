// Starting a program as a session's user with that session's environment.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/SessionUser.h"

namespace corvala::platform::linuxos {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SessionUser, StartsWithExactlyTheGivenEnvironment) {
    char pattern[] = "/tmp/session-user-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    const fs::path out = folder / "env";
    ASSERT_TRUE(SpawnAsUser(::geteuid(),
                            {"sh", "-c", "env > '" + out.string() + ".part' && mv '" + out.string() + ".part' '" +
                                             out.string() + "'"},
                            {"PATH=/usr/bin:/bin", "DISPLAY=:42", "MARK=session value"}));
    for (int i = 0; i < 200 && !fs::exists(out); ++i) std::this_thread::sleep_for(50ms);
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    const std::string env = "\n" + text.str();
    EXPECT_NE(env.find("DISPLAY=:42\n"), std::string::npos) << env;
    EXPECT_NE(env.find("MARK=session value\n"), std::string::npos) << env;
    EXPECT_EQ(env.find("\nHOME="), std::string::npos) << "the test's own environment leaked:" << env;
    fs::remove_all(folder);
}

TEST(SessionUser, ReportsWhatCannotStart) {
    EXPECT_FALSE(SpawnAsUser(::geteuid(), {"no-such-program-anywhere"}, {"PATH=/usr/bin:/bin"}));
    EXPECT_FALSE(SpawnAsUser(::geteuid(), {}, {"PATH=/usr/bin:/bin"}));
    // A process without root's rights acts for nobody else.
    if (::geteuid() != 0) {
        EXPECT_FALSE(SpawnAsUser(::geteuid() + 1, {"true"}, {"PATH=/usr/bin:/bin"}));
    }
}

}  // namespace
}  // namespace corvala::platform::linuxos
