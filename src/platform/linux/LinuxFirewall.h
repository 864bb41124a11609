#pragma once
#include "platform/Firewall.h"

namespace corvala::platform::linuxos {

// Linux firewalls open ports, not programs. The program itself only connects
// out; the relay listens on its TURN port, so that port is opened through ufw
// or firewalld when one of them is installed. Nothing happens otherwise.
class LinuxFirewall : public IFirewall {
public:
    void AddProgramRules(const std::string& name, const std::string& program) override;
};

}  // namespace corvala::platform::linuxos
