#include "relay/FirewallRules.h"

#include "relay/RelayLog.h"

#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

namespace corvala {

namespace {

const QString Ufw = QStringLiteral("ufw");
const QString FirewallCmd = QStringLiteral("firewall-cmd");

QString PortRule(const char* protocol) { return QString::number(RelayLocalPort) + u'/' + QLatin1String(protocol); }

}  // namespace

QtProcessRunner::QtProcessRunner(std::chrono::milliseconds deadline) : FDeadline(deadline) {}

ProcessOutcome QtProcessRunner::Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ProcessOutcome outcome;
    if (!process.waitForStarted(static_cast<int>(FDeadline.count()))) return outcome;
    outcome.started = true;
    if (!process.waitForFinished(static_cast<int>(FDeadline.count()))) {
        qCWarning(lcPortForwarding) << program << arguments << "did not finish in time; killed";
        process.kill();
        process.waitForFinished(1000);
        return outcome;
    }
    outcome.output = QString::fromLocal8Bit(process.read(MaxOutputBytes)).trimmed();
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return outcome;
}

FirewallRules::FirewallRules(IProcessRunner& runner, QString relayProgram, bool privileged)
    : FRunner(runner), FRelayProgram(std::move(relayProgram)), FPrivileged(privileged) {}

bool FirewallRules::RunningAsRoot() { return geteuid() == 0; }

FirewallRules::Firewall FirewallRules::ActiveFirewall() {
    // "ufw status" needs root; without it the answer is an error and ufw
    // counts as inactive here, since we could not add a rule anyway.
    const ProcessOutcome ufw = FRunner.Run(Ufw, {QStringLiteral("status")});
    if (ufw.started && ufw.exitCode == 0 && ufw.output.contains(QLatin1String("Status: active")))
        return Firewall::Ufw;
    if (ufw.started && ufw.exitCode != 0)
        qCInfo(lcPortForwarding) << "ufw status failed (" << ufw.exitCode << "):" << ufw.output.left(200);
    const ProcessOutcome firewalld = FRunner.Run(FirewallCmd, {QStringLiteral("--state")});
    if (firewalld.started && firewalld.exitCode == 0 && firewalld.output.startsWith(QLatin1String("running")))
        return Firewall::Firewalld;
    return Firewall::None;
}

void FirewallRules::Run(const QString& program, const QStringList& arguments) {
    const ProcessOutcome outcome = FRunner.Run(program, arguments);
    if (!outcome.started || outcome.exitCode != 0)
        qCWarning(lcPortForwarding) << program << arguments << "failed (" << outcome.exitCode
                                    << "):" << outcome.output.left(200);
}

void FirewallRules::AddProgramRules(const std::string& nameText, const std::string& program) {
    const QString name = QString::fromStdString(nameText), applicationPath = QString::fromStdString(program);
    if (QFileInfo(applicationPath).fileName() != FRelayProgram) {
        qCInfo(lcPortForwarding) << "firewall rule set" << name << "for" << applicationPath
                                 << ": nothing to open, the program only connects out";
        return;
    }
    if (!FPrivileged) {
        qCInfo(lcPortForwarding) << "firewall rule set" << name << "not added: that needs root";
        return;
    }
    switch (ActiveFirewall()) {
    case Firewall::None:
        qCInfo(lcPortForwarding) << "no active host firewall; nothing to open for" << name;
        return;
    case Firewall::Ufw:
        for (const char* protocol : {"tcp", "udp"})
            Run(Ufw, {QStringLiteral("allow"), PortRule(protocol), QStringLiteral("comment"), name});
        return;
    case Firewall::Firewalld: {
        // The running rules take effect now, the permanent ones after the
        // next reload or boot; a reload here would drop other programs'
        // running-only rules.
        const QStringList ports{QStringLiteral("--add-port=") + PortRule("tcp"),
                                QStringLiteral("--add-port=") + PortRule("udp")};
        Run(FirewallCmd, ports);
        Run(FirewallCmd, QStringList{QStringLiteral("--permanent")} + ports);
        return;
    }
    }
}

}  // namespace corvala
