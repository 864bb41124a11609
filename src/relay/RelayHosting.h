#pragma once
// The host's own relay: after every join to the signalling server the
// router's port mapping is made sure of, the relay program is started (or
// one already running is reused), the web service's probe proves that it can
// be reached from outside, and the relay is announced ("publicturn") and
// added to this side's ICE servers. A watchdog then measures the relay's
// processor load every 30 s and withdraws the announcement ("removeturn")
// while it is above 15.0 %, looking again every 10 minutes; a setup after a
// reconnection leaves a withdrawn relay withdrawn.
//
// Nothing here blocks the main thread: the port mapping runs on a worker
// thread, the web questions and the relay's output arrive through the event
// loop, and the proof is a timer. A setup that is still running when the
// next join re-arms TurnChecker lets that tick pass.
//
// The program ends the relay it started or reused when it closes (Close), and
// the self-update ends it the same way before it replaces the program.

#include "relay/PortForwarding.h"
#include "relay/RelayLoadMeter.h"
#include "relay/RelayProcesses.h"
#include "relay/RelayWebQueries.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QTimer>

#include <memory>
#include <optional>

namespace corvala {

class Settings;

// What the relay hosting asks of the core.
class IRelayHostingEvents {
public:
    virtual bool ConnectedToSignalServer() const = 0;  // FConnectedToSignalServer
    // Writes one signalling message without a destination; false when it
    // could not be written.
    virtual bool SendRelayMessage(const QString& msg, const QString& payload) = 0;
    virtual bool SaveSettings() = 0;
    // Appends the relay to this side's ICE servers unless one with that URL
    // is listed already.
    virtual void AddOwnIceServer(const QString& url, const QString& userName, const QString& password) = 0;
    // The setup started (hourglass, the connect button disabled unless it
    // offers an update) or ended (default cursor, the button enabled).
    virtual void ShowRelaySetupRunning(bool running) = 0;

protected:
    ~IRelayHostingEvents() = default;
};

// The operating system and the network as the relay hosting uses them.
struct RelayHostingPlatform {
    IPortForwarding& Forwarding;  // called on a worker thread
    IRelayWebQueries& Web;
    IRelayProcesses& Processes;
    relay::ProcessTimesSource& Times;
};

struct RelayHostingConfig {
    QString ProgramFolder;  // where the relay program lies
    // How long the relay has to show the probe's datagram in its output.
    int ProofLimitMs = 11000;
    // The first probe waits for the relay's first output (it runs then),
    // at most this long: a datagram that arrives before the new relay
    // listens shows nothing.
    int FirstProbeMs = 1000;
    // The probe is asked for again this often while the proof waits.
    int ProbeRepeatMs = 4000;
};

class TRelayHosting final : public QObject {
public:
    static constexpr char Marker[] = "error when handling datagram";

    // `turnChecker` runs the setup when it fires (the core starts it at each
    // "joined"); `watchdog` is the load watchdog's timer.
    TRelayHosting(RelayHostingConfig config, RelayHostingPlatform platform, Settings& settings,
                  IRelayHostingEvents& events, QTimer& turnChecker, QTimer& watchdog);
    ~TRelayHosting() override;

    // The relay setup (TurnChecker's tick).
    void RunSetup();
    // One tick of the load watchdog.
    void WatchdogTick();

    // RelayRunning: the relay is proven or was found running.
    bool RelayRunning() const { return FRelayRunning; }
    QString CountryCode() const { return FCountryCode; }
    QString PublicIP() const { return FPublicIP; }
    bool RelayWithdrawn() const { return FWithdrawn; }
    bool SetupRunning() const { return FSetupRunning; }
    // "turn:" address ":" outside port, as announced and added.
    QString RelayUrl() const;
    // The announcement's payload from the last setup's address and country.
    QString AnnouncementPayload() const;

    // At close: the watchdog stops, the meter goes, the relay this program
    // started or reused ends, a running setup is abandoned.
    void Close();

private:
    // The steps of one setup, each continuing the previous one's answer;
    // `run` tells a late answer of an abandoned setup from the current one.
    void MappingDone(quint64 run, int relayPort, bool mapped);
    void PublicAddressKnown(quint64 run, const QString& answer);
    void StartOrReuse(quint64 run);
    void RelayOutput(quint64 run, QByteArrayView piece);
    void RelayEnded(quint64 run);
    void ProofTimedOut(quint64 run);
    void Probe();
    void Proven();
    void FinishSetup();
    void StopWatching();
    // Adds the relay to the ICE servers, announces it and starts the watchdog.
    void Announce();
    void StartWatchdog();
    bool SendWhenConnected(const QString& msg, const QString& payload);

    RelayHostingConfig FConfig;
    RelayHostingPlatform FPlatform;
    Settings& FSettings;
    IRelayHostingEvents& FEvents;
    QTimer& FTurnChecker;
    QTimer& FWatchdog;

    bool FSetupRunning = false;
    bool FBusyShown = false;
    quint64 FRun = 0;
    QPointer<QThread> FMappingThread;

    QString FPublicIP;
    QString FCountryCode;
    bool FRelayRunning = false;
    bool FWithdrawn = false;

    // The relay this program started, while it runs; or the one it reused.
    std::unique_ptr<IRelayProcess> FStarted;
    std::optional<pid_t> FReused;
    // The proof: its limit, the repeated probe, and the tail of the output
    // that a marker split across two pieces may begin in.
    bool FWatching = false;
    QTimer FProofTimer;
    QTimer FProbeTimer;
    QByteArray FOutputTail;
    bool FProbed = false;

    std::unique_ptr<relay::RelayLoadMeter> FMeter;
    pid_t FMeterPid = 0;
};

}  // namespace corvala
