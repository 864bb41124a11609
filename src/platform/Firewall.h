#pragma once
// Inbound rules of the local firewall for the program and its relay.

#include <string>

namespace corvala::platform {

class IFirewall {
public:
    virtual ~IFirewall() = default;
    // Adds the rule set `name` letting `program` accept connections. Failures
    // are silent: a missing rule shows later as an unreachable relay.
    virtual void AddProgramRules(const std::string& name, const std::string& program) = 0;
};

}  // namespace corvala::platform
