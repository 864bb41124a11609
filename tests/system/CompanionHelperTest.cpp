// The real crsystem in a temporary configuration and program folder: what
// automatic start leaves behind, what switching it off removes, and the
// one-shot launch of the program.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "AutostartEntry.h"

extern char** environ;

namespace corvala {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(AutostartEntry, ExecArgumentsSurviveTheDesktopEntryQuoting) {
    struct Case {
        std::string argument, quoted;
    };
    const Case cases[] = {
        {"/home/ann/.local/share/Corvala/cr", "/home/ann/.local/share/Corvala/cr"},
        {"/home/ann/My Programs/cr", "\"/home/ann/My Programs/cr\""},
        {"/tmp/a\"b$c`d", "\"/tmp/a\\\\\"b\\\\$c\\\\`d\""},
        {"/tmp/back\\slash", "\"/tmp/back\\\\\\\\slash\""},
        {"/tmp/100%", "/tmp/100%%"},
        {"", "\"\""},
    };
    for (const Case& c : cases) EXPECT_EQ(companion::QuoteExecArgument(c.argument), c.quoted) << c.argument;
}

TEST(AutostartEntry, PathFollowsTheConfigurationFolder) {
    auto lookup = [](std::map<std::string, std::string> values) {
        return [values](const char* name) -> std::optional<std::string> {
            auto it = values.find(name);
            return it == values.end() ? std::nullopt : std::optional(it->second);
        };
    };
    EXPECT_EQ(companion::AutostartEntryPath(lookup({{"XDG_CONFIG_HOME", "/c"}, {"HOME", "/h"}})),
              fs::path("/c/autostart/corvala.desktop"));
    EXPECT_EQ(companion::AutostartEntryPath(lookup({{"HOME", "/h"}})), fs::path("/h/.config/autostart/corvala.desktop"));
    // A relative configuration folder is not one (the basedir rules): HOME decides.
    EXPECT_EQ(companion::AutostartEntryPath(lookup({{"XDG_CONFIG_HOME", "rel"}, {"HOME", "/h"}})),
              fs::path("/h/.config/autostart/corvala.desktop"));
    EXPECT_EQ(companion::AutostartEntryPath(lookup({})), std::nullopt);
}

class CompanionHelper : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/crsystem-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(Config());
        fs::create_directories(Home());
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path Config() const { return root / "config"; }
    fs::path Home() const { return root / "program folder"; }

    // Runs crsystem with the temporary folders as its only environment.
    int Run(std::vector<std::string> arguments) {
        const char* bin = std::getenv("CORVALA_BIN_DIR");  // set by CTest
        if (!bin) {
            ADD_FAILURE() << "CORVALA_BIN_DIR does not name the build's programs";
            return -1;
        }
        const std::string helper = (fs::path(bin) / "crsystem").string();
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + Config().string(), "CORVALA_HOME=" + Home().string(),
                                        "HOME=" + root.string(), "PATH=/usr/bin:/bin"};
        arguments.insert(arguments.begin(), helper);
        std::vector<char*> argv, envp;
        for (auto& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid;
        if (::posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Every file and folder under the two folders, relative to the root.
    std::set<std::string> Left() const {
        std::set<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            out.insert(fs::relative(entry.path(), root).string());
        return out;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path root;
};

TEST_F(CompanionHelper, AutostartOnLeavesExactlyTheEntryAndTheMarkerAndOffRemovesThem) {
    const std::set<std::string> before = Left();
    ASSERT_EQ(Run({"/install"}), 0);
    ASSERT_EQ(Run({"-INSTALL"}), 0) << "a second install changes nothing";
    std::set<std::string> expected = before;
    expected.insert({"config/autostart", "config/autostart/corvala.desktop", "program folder/~i"});
    EXPECT_EQ(Left(), expected);

    const std::string entry = Read(Config() / "autostart" / "corvala.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos) << entry;
    // The program starts as the companion service starts it, in the folder
    // the helper was given, which the login session does not know.
    const std::string exec = "Exec=env \"CORVALA_HOME=" + Home().string() + "\" \"" + (Home() / "cr").string() +
                             "\" /from_service\n";
    EXPECT_NE(entry.find(exec), std::string::npos) << entry;

    ASSERT_EQ(Run({"/uninstall"}), 0);
    ASSERT_EQ(Run({"/uninstall"}), 0) << "removing what is gone is no error";
    expected = before;
    expected.insert("config/autostart");  // the user's folder stays
    EXPECT_EQ(Left(), expected);
}

TEST_F(CompanionHelper, RefusesWhatItDoesNotKnow) {
    const std::vector<std::vector<std::string>> cases = {{}, {"/install", "/uninstall"}, {"install"}, {"/remove"}};
    for (const auto& args : cases) EXPECT_EQ(Run(args), 2) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(Left(), (std::set<std::string>{"config", "program folder"}));
}

TEST_F(CompanionHelper, SilentInstallStartsTheProgramAsTheCompanionServiceWould) {
    // A stand-in program that writes down how it was started.
    const fs::path record = root / "started";
    {
        std::ofstream cr(Home() / "cr");
        cr << "#!/bin/sh\necho \"$* $CORVALA_HOME\" > '" << record.string() << ".part'\nmv '" << record.string()
           << ".part' '" << record.string() << "'\n";
    }
    fs::permissions(Home() / "cr", fs::perms::owner_all);
    ASSERT_EQ(Run({"/install", "/silent"}), 0);
    for (int i = 0; i < 200 && !fs::exists(record); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Read(record), "/from_service " + Home().string() + "\n");
    // Nothing is installed for a one-shot launch, nor left to remove.
    EXPECT_FALSE(fs::exists(Config() / "autostart"));
    EXPECT_EQ(Run({"/uninstall", "/silent"}), 0);
    EXPECT_TRUE(fs::exists(Home() / "cr"));
}

}  // namespace
}  // namespace corvala
