#include "relay/FirewallRules.h"

#include "relay/LanAddress.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace corvala {
namespace {

// Answers each command line from a script; a line missing from the script
// is a program that is not installed. Records every line it was asked to run.
class ScriptedRunner : public IProcessRunner {
public:
    std::map<std::string, ProcessOutcome> script;
    std::vector<std::string> ran;

    ProcessOutcome Run(const QString& program, const QStringList& arguments) override {
        const std::string line = (QStringList{program} + arguments).join(' ').toStdString();
        ran.push_back(line);
        const auto found = script.find(line);
        return found == script.end() ? ProcessOutcome{} : found->second;
    }
};

const ProcessOutcome UfwActive{true, 0, "Status: active\n\nTo Action From\n-- ------ ----"};
const ProcessOutcome UfwInactive{true, 0, "Status: inactive"};
const ProcessOutcome UfwNeedsRoot{true, 1, "ERROR: You need to be root to run this script"};
const ProcessOutcome FirewalldRunning{true, 0, "running"};
const ProcessOutcome FirewalldStopped{true, 252, "not running"};
const ProcessOutcome Done{true, 0, "Rule added"};

const std::vector<std::string> UfwAllows = {"ufw allow 3478/tcp comment crserver",
                                            "ufw allow 3478/udp comment crserver"};
const std::vector<std::string> FirewalldAdds = {"firewall-cmd --add-port=3478/tcp --add-port=3478/udp",
                                                "firewall-cmd --permanent --add-port=3478/tcp --add-port=3478/udp"};

struct FirewallCase {
    const char* name;
    std::map<std::string, ProcessOutcome> script;
    std::vector<std::string> expectedRuleCommands;  // what runs after the detection
};

const FirewallCase FirewallCases[] = {
    {"ufw active", {{"ufw status", UfwActive}}, UfwAllows},
    {"ufw active wins over firewalld", {{"ufw status", UfwActive}, {"firewall-cmd --state", FirewalldRunning}},
     UfwAllows},
    {"ufw inactive, firewalld running", {{"ufw status", UfwInactive}, {"firewall-cmd --state", FirewalldRunning}},
     FirewalldAdds},
    {"ufw not installed, firewalld running", {{"firewall-cmd --state", FirewalldRunning}}, FirewalldAdds},
    {"ufw needs root, firewalld stopped",
     {{"ufw status", UfwNeedsRoot}, {"firewall-cmd --state", FirewalldStopped}},
     {}},
    {"neither installed", {}, {}},
};

void PrintTo(const FirewallCase& c, std::ostream* os) { *os << c.name; }

class FirewallDetection : public ::testing::TestWithParam<FirewallCase> {};

TEST_P(FirewallDetection, OpensTheRelayPortOnTheActiveFirewallOnly) {
    ScriptedRunner runner;
    runner.script = GetParam().script;
    for (const std::string& line : UfwAllows) runner.script.emplace(line, Done);
    for (const std::string& line : FirewalldAdds) runner.script.emplace(line, Done);
    FirewallRules rules(runner, "crserver", true);
    rules.AddProgramRules("crserver", "/var/lib/corvala/crserver");
    std::vector<std::string> ruleCommands;
    for (const std::string& line : runner.ran)
        if (line != "ufw status" && line != "firewall-cmd --state") ruleCommands.push_back(line);
    EXPECT_EQ(ruleCommands, GetParam().expectedRuleCommands);
}

INSTANTIATE_TEST_SUITE_P(Cases, FirewallDetection, ::testing::ValuesIn(FirewallCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

// Nothing is even asked: the program itself only connects out, and without
// root firewalld's polkit would ask the user for a password.
TEST(FirewallRules, RunsNothingForTheProgramOrWithoutRoot) {
    const struct {
        const char* name;
        const char* path;
        bool privileged;
    } cases[] = {{"Corvala", "/var/lib/corvala/cr", true}, {"crserver", "/var/lib/corvala/crserver", false}};
    for (const auto& c : cases) {
        ScriptedRunner runner;
        runner.script = {{"ufw status", UfwActive}, {"firewall-cmd --state", FirewalldRunning}};
        FirewallRules(runner, "crserver", c.privileged).AddProgramRules(c.name, c.path);
        EXPECT_TRUE(runner.ran.empty()) << c.name;
    }
}

TEST(FirewallRules, AFailingRuleDoesNotStopTheNextOne) {
    ScriptedRunner runner;
    runner.script = {{"ufw status", UfwActive}, {UfwAllows[0], {true, 1, "ERROR: Could not update running firewall"}}};
    FirewallRules(runner, "crserver", true).AddProgramRules("crserver", "/opt/x/crserver");
    EXPECT_EQ(runner.ran, (std::vector<std::string>{"ufw status", UfwAllows[0], UfwAllows[1]}));
}

TEST(QtProcessRunner, ReportsExitCodeOutputAndMissingPrograms) {
    QtProcessRunner runner;
    const ProcessOutcome echoed = runner.Run("sh", {"-c", "echo to-out; echo to-err >&2; exit 3"});
    EXPECT_TRUE(echoed.started);
    EXPECT_EQ(echoed.exitCode, 3);
    EXPECT_TRUE(echoed.output.contains("to-out") && echoed.output.contains("to-err")) << echoed.output.toStdString();
    EXPECT_FALSE(runner.Run("/nonexistent/firewall-tool", {}).started);
}

TEST(QtProcessRunner, KillsAProgramPastItsDeadline) {
    QtProcessRunner runner(std::chrono::milliseconds(300));
    const ProcessOutcome outcome = runner.Run("sleep", {"30"});
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitCode, -1);
}

TEST(DefaultRouteInterface, FindsTheUpDefaultRoute) {
    const QString header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n";
    const struct {
        QString table;
        QString expected;
    } cases[] = {
        {header + "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n"
                  "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\n",
         "wlan0"},
        {header + "eth1\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\n", ""},  // a default route that is down
        {header + "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n", ""},   // no default route
        {"", ""},
        {header + "garbage\n\t\t\n", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DefaultRouteInterface(c.table), c.expected) << c.table.toStdString();
}

}  // namespace
}  // namespace corvala
