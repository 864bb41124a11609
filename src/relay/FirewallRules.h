#pragma once
// Host firewall rules through ufw or firewalld, whichever is active.
//
// Neither knows rules for an application: ufw needs an application profile
// installed as root under /etc/ufw/applications.d, firewalld knows services
// and ports. What the rules must achieve is that the relay can be reached, so
// the relay's rule set opens its port (RelayLocalPort, TCP and UDP); the
// program itself only connects out, which both firewalls let through, so its
// rule set has nothing to open. Detection asks the tools without any prompt
// for rights; when a tool needs rights we lack, the failure is logged.

#include "platform/Firewall.h"
#include "relay/PortForwarding.h"

#include <QStringList>
#include <QString>

#include <chrono>

namespace corvala {

struct ProcessOutcome {
    bool started = false;
    int exitCode = -1;
    QString output;  // standard output and error together, cut to a bound
};

class IProcessRunner {
public:
    virtual ~IProcessRunner() = default;
    // Runs `program` with `arguments` and waits for it.
    virtual ProcessOutcome Run(const QString& program, const QStringList& arguments) = 0;
};

// QProcess with a deadline; the program is killed when it passes it.
class QtProcessRunner : public IProcessRunner {
public:
    static constexpr qint64 MaxOutputBytes = 64 * 1024;
    explicit QtProcessRunner(std::chrono::milliseconds deadline = std::chrono::seconds(20));
    ProcessOutcome Run(const QString& program, const QStringList& arguments) override;

private:
    std::chrono::milliseconds FDeadline;
};

class FirewallRules : public platform::IFirewall {
public:
    // `relayProgram`: the file name of the relay's executable; its rule set
    // is the one that opens the relay's port. `privileged`: whether we run as
    // root; without it adding a rule would make firewalld's polkit ask the
    // user for a password, so nothing is added.
    FirewallRules(IProcessRunner& runner, QString relayProgram, bool privileged = RunningAsRoot());
    static bool RunningAsRoot();
    void AddProgramRules(const std::string& name, const std::string& program) override;

private:
    enum class Firewall { None, Ufw, Firewalld };
    Firewall ActiveFirewall();
    void Run(const QString& program, const QStringList& arguments);

    IProcessRunner& FRunner;
    QString FRelayProgram;
    bool FPrivileged;
};

}  // namespace corvala
