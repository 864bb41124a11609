#pragma once
// The start-up sequence's firewall (added on the first start under the
// companion service) made of the relay's firewall rules.

#include "platform/Firewall.h"
#include "relay/PortForwarding.h"

namespace corvala {

class StartupFirewall : public platform::IFirewall {
public:
    explicit StartupFirewall(IFirewallRules& rules) : FRules(rules) {}
    void AddProgramRules(const std::string& name, const std::string& program) override {
        FRules.AddFirewallRules(QString::fromStdString(name), QString::fromStdString(program));
    }

private:
    IFirewallRules& FRules;
};

}  // namespace corvala
