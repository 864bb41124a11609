#include "platform/linux/LinuxFirewall.h"

#include "platform/linux/LinuxShell.h"

namespace corvala::platform::linuxos {

namespace {
constexpr const char* RelayPort = "3478";
}

void LinuxFirewall::AddProgramRules(const std::string& name, const std::string& program) {
    if (name != "crserver") return;
    if (std::string ufw = FindOnPath("ufw"); !ufw.empty()) {
        SpawnAndWait({ufw, "allow", std::string(RelayPort) + "/tcp"});
        SpawnAndWait({ufw, "allow", std::string(RelayPort) + "/udp"});
    } else if (std::string fwcmd = FindOnPath("firewall-cmd"); !fwcmd.empty()) {
        SpawnAndWait({fwcmd, "--permanent", std::string("--add-port=") + RelayPort + "/tcp",
                      std::string("--add-port=") + RelayPort + "/udp"});
        SpawnAndWait({fwcmd, "--reload"});
    }
}

}  // namespace corvala::platform::linuxos
