#include "relay/RelayHosting.h"

#include "identity/RandomCredentials.h"
#include "relay/RelayHostingLog.h"
#include "settings/Settings.h"
#include "signalling/SignallingMessage.h"
#include "signalling/WirePayloads.h"

#include <QRegularExpression>

#include <exception>

namespace corvala {
namespace {

// Endless output of a relay is read and dropped; only this much of it is
// kept to find a marker that two pieces share.
constexpr qsizetype TailBytes = sizeof(TRelayHosting::Marker) - 2;

// Four decimal numbers 0..255 and nothing else: the address goes into the
// relay's command line, a URL and the announcement.
bool IsIPv4Address(const QString& text) {
    static const QRegularExpression quad(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch m = quad.match(text);
    if (!m.hasMatch()) return false;
    for (int i = 1; i <= 4; ++i)
        if (m.capturedView(i).toInt() > 255) return false;
    return true;
}

// Two ASCII letters; anything else the country answer held reads "XX".
QString CheckedCountry(const QString& answer) {
    static const QRegularExpression letters(QStringLiteral("^[A-Za-z]{2}$"));
    if (letters.match(answer).hasMatch()) return answer;
    qCWarning(lcRelayHosting) << "country answer" << answer << "is no country code: \"XX\" instead";
    return QStringLiteral("XX");
}

}  // namespace

TRelayHosting::TRelayHosting(RelayHostingConfig config, RelayHostingPlatform platform, Settings& settings,
                             IRelayHostingEvents& events, QTimer& turnChecker, QTimer& watchdog)
    : FConfig(std::move(config)),
      FPlatform(platform),
      FSettings(settings),
      FEvents(events),
      FTurnChecker(turnChecker),
      FWatchdog(watchdog) {
    FTurnChecker.setSingleShot(true);
    connect(&FTurnChecker, &QTimer::timeout, this, &TRelayHosting::RunSetup);
    connect(&FWatchdog, &QTimer::timeout, this, &TRelayHosting::WatchdogTick);
    FProofTimer.setSingleShot(true);
    connect(&FProbeTimer, &QTimer::timeout, this, &TRelayHosting::Probe);
}

TRelayHosting::~TRelayHosting() {
    // The windows may be gone already: nothing is shown any more.
    FBusyShown = false;
    Close();
    // The router's answer may still be awaited; the worker ends with it.
    if (FMappingThread) FMappingThread->wait();
}

// ---- the setup -------------------------------------------------------------

void TRelayHosting::RunSetup() {
    FTurnChecker.stop();
    if (FSetupRunning) {
        qCInfo(lcRelayHosting) << "a relay setup is still running: this one is left out";
        return;
    }
    FSetupRunning = true;
    const quint64 run = ++FRun;
    const int storedPort = FSettings.RelayPort;
    IPortForwarding& forwarding = FPlatform.Forwarding;
    QPointer<TRelayHosting> self(this);
    QThread* worker = QThread::create([self, &forwarding, storedPort, run] {
        int port = storedPort;
        bool mapped = false;
        try {
            mapped = forwarding.EnsurePortMapping(port);
        } catch (const std::exception& error) {
            qCWarning(lcRelayHosting) << "port mapping failed:" << error.what();
        } catch (...) {
            qCWarning(lcRelayHosting) << "port mapping failed";
        }
        if (self)
            QMetaObject::invokeMethod(
                self, [self, run, port, mapped] { if (self) self->MappingDone(run, port, mapped); },
                Qt::QueuedConnection);
    });
    worker->setParent(this);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    FMappingThread = worker;
    worker->start();
}

void TRelayHosting::MappingDone(quint64 run, int relayPort, bool mapped) {
    if (run != FRun) return;
    if (relayPort <= 0 || relayPort > 65535) {
        qCWarning(lcRelayHosting) << "port mapping answered the port" << relayPort << ": no relay is set up";
        FinishSetup();
        return;
    }
    qCInfo(lcRelayHosting) << "relay port" << relayPort << (mapped ? "is mapped by the router" : "is not mapped");
    FSettings.RelayPort = relayPort;
    if (FSettings.RelayUserName.isEmpty()) {
        FSettings.RelayUserName = QString::fromStdString(identity::RandomCredentials::RandomCredential());
        FSettings.RelayPassword = QString::fromStdString(identity::RandomCredentials::RandomCredential());
    }
    if (!FEvents.SaveSettings()) qCWarning(lcRelayHosting) << "the settings with the relay's port could not be saved";
    FRelayRunning = false;
    FBusyShown = true;
    FEvents.ShowRelaySetupRunning(true);
    QPointer<TRelayHosting> self(this);
    FPlatform.Web.PublicAddress([self, run](const QString& answer) {
        if (self) self->PublicAddressKnown(run, answer);
    });
}

void TRelayHosting::PublicAddressKnown(quint64 run, const QString& answer) {
    if (run != FRun) return;
    if (!IsIPv4Address(answer)) {
        if (!answer.isEmpty())
            qCWarning(lcRelayHosting) << "public address answer" << answer.left(64) << "is no IPv4 address";
        qCInfo(lcRelayHosting) << "no public address: no relay is started or announced";
        FinishSetup();
        return;
    }
    FPublicIP = answer;
    if (!FCountryCode.isEmpty()) {
        StartOrReuse(run);
        return;
    }
    QPointer<TRelayHosting> self(this);
    FPlatform.Web.Country(FPublicIP, [self, run](const QString& country) {
        if (!self || run != self->FRun) return;
        self->FCountryCode = CheckedCountry(country);
        self->StartOrReuse(run);
    });
}

void TRelayHosting::StartOrReuse(quint64 run) {
    if (const std::optional<pid_t> running = FPlatform.Processes.Find(RelayNameMatch::Prefix)) {
        // A relay of an earlier run keeps its proof.
        qCInfo(lcRelayHosting) << "the relay" << *running << "runs already and is reused";
        if (!FStarted || FStarted->Pid() != *running) FReused = *running;
        FRelayRunning = true;
        Announce();
        FinishSetup();
        return;
    }
    const QString program = FConfig.ProgramFolder + u'/' + QLatin1String(RelayProgramName);
    const QStringList arguments = {QStringLiteral("-public-ip"), FPublicIP, QStringLiteral("-port"),
                                   QString::number(RelayLocalPort), QStringLiteral("-users"),
                                   FSettings.RelayUserName + u'=' + FSettings.RelayPassword};
    QPointer<TRelayHosting> self(this);
    FStarted = FPlatform.Processes.Start(
        program, arguments, [self, run](QByteArrayView piece) { if (self) self->RelayOutput(run, piece); },
        [self, run] { if (self) self->RelayEnded(run); });
    FReused.reset();
    if (!FStarted) {
        FinishSetup();
        return;
    }
    qCInfo(lcRelayHosting) << "relay started as" << FStarted->Pid() << "for" << FPublicIP << "port"
                           << FSettings.RelayPort;
    FWatching = true;
    FOutputTail.clear();
    FProofTimer.disconnect();
    connect(&FProofTimer, &QTimer::timeout, this, [this, run] { ProofTimedOut(run); });
    FProbed = false;
    FProofTimer.start(FConfig.ProofLimitMs);
    FProbeTimer.start(FConfig.FirstProbeMs);
}

void TRelayHosting::Probe() {
    FProbed = true;
    FProbeTimer.start(FConfig.ProbeRepeatMs);
    FPlatform.Web.ProbeRelay(FPublicIP, FSettings.RelayPort);
}

void TRelayHosting::RelayOutput(quint64 run, QByteArrayView piece) {
    if (run != FRun || !FWatching) return;  // a proven relay's output is drained and dropped
    if (!FProbed) Probe();
    QByteArray text = FOutputTail;
    text.append(piece);
    if (text.contains(Marker)) {
        Proven();
        return;
    }
    FOutputTail = text.right(TailBytes);
}

void TRelayHosting::RelayEnded(quint64 run) {
    if (run != FRun) return;
    // The process object reports from inside itself: it stays until the
    // next start or the close replaces it.
    if (FWatching) {
        qCWarning(lcRelayHosting) << "the relay ended before it was proven reachable: nothing is announced";
        StopWatching();
        FinishSetup();
        return;
    }
    qCWarning(lcRelayHosting) << "the relay ended by itself";
}

void TRelayHosting::ProofTimedOut(quint64 run) {
    if (run != FRun || !FWatching) return;
    qCWarning(lcRelayHosting) << "the probe did not reach the relay within" << FConfig.ProofLimitMs
                              << "ms: it is ended and nothing is announced";
    StopWatching();
    if (FStarted) FStarted->Kill();
    FStarted.reset();
    FinishSetup();
}

void TRelayHosting::Proven() {
    qCInfo(lcRelayHosting) << "the relay is reachable from outside";
    StopWatching();
    FRelayRunning = true;
    Announce();
    FinishSetup();
}

void TRelayHosting::StopWatching() {
    FWatching = false;
    FProofTimer.stop();
    FProbeTimer.stop();
    FOutputTail.clear();
}

void TRelayHosting::FinishSetup() {
    FSetupRunning = false;
    if (!FBusyShown) return;
    FBusyShown = false;
    FEvents.ShowRelaySetupRunning(false);
}

// ---- announcement and watchdog ---------------------------------------------

QString TRelayHosting::RelayUrl() const {
    // No transport parameter: clients try UDP and TCP alike.
    return QStringLiteral("turn:") + FPublicIP + u':' + QString::number(FSettings.RelayPort);
}

QString TRelayHosting::AnnouncementPayload() const {
    return IceServer{FSettings.RelayPassword, FSettings.RelayUserName, RelayUrl(), FCountryCode}.toJson();
}

bool TRelayHosting::SendWhenConnected(const QString& msg, const QString& payload) {
    if (!FEvents.ConnectedToSignalServer()) {
        qCInfo(lcRelayHosting) << "not joined to the signalling server:" << msg << "is not sent";
        return false;
    }
    if (!FEvents.SendRelayMessage(msg, payload)) {
        qCWarning(lcRelayHosting) << msg << "could not be written to the signalling server";
        return false;
    }
    return true;
}

void TRelayHosting::Announce() {
    FEvents.AddOwnIceServer(RelayUrl(), FSettings.RelayUserName, FSettings.RelayPassword);
    StartWatchdog();
    // A relay withdrawn for its load stays withdrawn across a reconnection
    // until the watchdog finds it quiet again.
    if (FWithdrawn) {
        qCInfo(lcRelayHosting) << "the relay is withdrawn for its load: not announced";
        return;
    }
    SendWhenConnected(QString::fromUtf16(wire::PublicTurn), AnnouncementPayload());
}

void TRelayHosting::StartWatchdog() {
    const std::optional<pid_t> pid = FPlatform.Processes.Find(RelayNameMatch::Exact);
    if (!pid) {
        qCWarning(lcRelayHosting) << "no process named" << RelayProgramName << "to measure: no load watchdog runs";
        return;
    }
    // The meter stays with its process; a relay started anew gets a new one.
    if (FMeter && FMeterPid == *pid) return;
    FMeter = relay::RelayLoadMeter::Create(FPlatform.Times, *pid);
    FMeterPid = FMeter ? *pid : 0;
    if (!FMeter) {
        qCWarning(lcRelayHosting) << "the relay" << *pid << "cannot be measured: no load watchdog runs";
        FWatchdog.stop();
        return;
    }
    FWatchdog.setInterval(relay::kWatchdogIntervalMs);
    FWithdrawn = false;
    FWatchdog.start();
}

void TRelayHosting::WatchdogTick() {
    if (!FMeter) return;
    const std::optional<float> load = FMeter->measure();
    if (!load) {
        qCInfo(lcRelayHosting) << "the relay's load could not be measured this time";
        return;
    }
    const relay::WatchdogStep step = relay::DecideWatchdog(*load, FWithdrawn);
    if (step.action == relay::WatchdogStep::Action::None) return;
    FWatchdog.stop();
    const bool withdraw = step.action == relay::WatchdogStep::Action::Withdraw;
    qCInfo(lcRelayHosting) << "relay load" << *load << "%:" << (withdraw ? "withdrawn" : "announced again");
    if (withdraw)
        SendWhenConnected(QString::fromUtf16(wire::RemoveTurn), {});
    else
        SendWhenConnected(QString::fromUtf16(wire::PublicTurn), AnnouncementPayload());
    FWatchdog.setInterval(step.nextIntervalMs);
    FWithdrawn = withdraw;
    FWatchdog.start();
}

// ---- the end ---------------------------------------------------------------

void TRelayHosting::Close() {
    ++FRun;  // late answers of a running setup find nobody
    StopWatching();
    FWatchdog.stop();
    FMeter.reset();
    FMeterPid = 0;
    if (FStarted) {
        qCInfo(lcRelayHosting) << "ending the relay" << FStarted->Pid();
        FStarted->End();
        FStarted.reset();
    } else if (FReused) {
        qCInfo(lcRelayHosting) << "ending the reused relay" << *FReused;
        FPlatform.Processes.End(*FReused);
    }
    FReused.reset();
    FRelayRunning = false;
    FinishSetup();
}

}  // namespace corvala
