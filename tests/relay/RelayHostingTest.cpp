// The host's own relay over fakes of the router, the web service, the
// processes and the process times: which path the setup takes, what it
// announces, and what the load watchdog sends at each tick.
#include "relay/RelayHosting.h"

#include "settings/Settings.h"

#include "CoreTestApplication.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace corvala {
namespace {

class FakeForwarding : public IPortForwarding {
public:
    bool EnsurePortMapping(int& relayPort) override {
        ++calls;
        seenPort = relayPort;
        if (relayPort == 0) relayPort = chosenPort;
        return mapped;
    }
    int chosenPort = 5555;
    bool mapped = true;
    int calls = 0;
    int seenPort = -1;
};

// Answers on a later turn of the event loop, as the network does.
class FakeWeb : public IRelayWebQueries {
public:
    void PublicAddress(std::function<void(QString)> done) override {
        ++addressQueries;
        QTimer::singleShot(0, [done, a = publicIp] { done(a); });
    }
    void Country(const QString& ip, std::function<void(QString)> done) override {
        countryQueries << ip;
        QTimer::singleShot(0, [done, c = country] { done(c); });
    }
    void ProbeRelay(const QString& ip, int port) override { probes << ip + ':' + QString::number(port); }

    QString publicIp = "203.0.113.7";
    QString country = "DE";
    int addressQueries = 0;
    QStringList countryQueries;
    QStringList probes;
};

class FakeProcesses : public IRelayProcesses {
public:
    class Process : public IRelayProcess {
    public:
        explicit Process(FakeProcesses& owner) : FOwner(owner) {}
        pid_t Pid() const override { return 4242; }
        void Kill() override { FOwner.log << "kill"; }
        void End() override { FOwner.log << "end"; }

    private:
        FakeProcesses& FOwner;
    };

    std::optional<pid_t> Find(RelayNameMatch match) override {
        const auto& list = match == RelayNameMatch::Exact ? exact : prefix;
        if (list.empty()) return std::nullopt;
        return list.front();
    }
    std::unique_ptr<IRelayProcess> Start(const QString& program, const QStringList& arguments,
                                         std::function<void(QByteArrayView)> out, std::function<void()> end) override {
        log << "start " + program + ' ' + arguments.join(' ');
        if (startFails) return nullptr;
        output = std::move(out);
        ended = std::move(end);
        // Once it runs, it is found by name.
        prefix = {4242};
        exact = {4242};
        return std::make_unique<Process>(*this);
    }
    void End(pid_t pid) override {
        log << "end " + QString::number(pid);
        std::erase(prefix, pid);
        std::erase(exact, pid);
    }

    std::vector<pid_t> prefix, exact;
    bool startFails = false;
    QStringList log;
    std::function<void(QByteArrayView)> output;
    std::function<void()> ended;
};

class FakeTimes : public relay::ProcessTimesSource {
public:
    std::optional<relay::ProcessTimes> timesOf(pid_t pid) override {
        if (!readable.contains(pid)) return std::nullopt;
        return times;
    }
    std::uint32_t tickMs() override { return tick; }
    int processorCount() override { return 1; }

    // The next measurement, 30 s on, shows this load.
    void Advance(float percent, std::uint32_t ms = 30000) {
        tick += ms;
        times.user += std::uint64_t(double(percent) * ms * 100.0);
    }

    std::set<pid_t> readable = {4242, 77};
    relay::ProcessTimes times;
    std::uint32_t tick = 1000;
};

class RecordingEvents : public IRelayHostingEvents {
public:
    bool ConnectedToSignalServer() const override { return connected; }
    bool SendRelayMessage(const QString& msg, const QString& payload) override {
        sent << msg + ' ' + payload;
        return true;
    }
    bool SaveSettings() override {
        saved << settings->RelayUserName + '/' + settings->RelayPassword + '/' + QString::number(settings->RelayPort);
        return true;
    }
    void AddOwnIceServer(const QString& url, const QString& user, const QString& password) override {
        iceServers << url + ' ' + user + ' ' + password;
    }
    void ShowRelaySetupRunning(bool running) override { busy << running; }

    bool connected = true;
    Settings* settings = nullptr;
    QStringList sent, saved, iceServers;
    QList<bool> busy;
};

const char* const Payload =
    R"({"ice_password":"pw4567","ice_username":"us1234","ice_url":"turn:203.0.113.7:5555","country":"DE"})";

class RelayHostingTest : public ::testing::Test {
protected:
    RelayHostingTest() {
        settings.RelayUserName = "us1234";
        settings.RelayPassword = "pw4567";
        events.settings = &settings;
    }

    void Make(int proofLimitMs = 11000, int firstProbeMs = 1000) {
        RelayHostingConfig config;
        config.ProgramFolder = "/opt/corvala";
        config.ProofLimitMs = proofLimitMs;
        config.FirstProbeMs = firstProbeMs;
        config.ProbeRepeatMs = 60000;
        hosting = std::make_unique<TRelayHosting>(config, RelayHostingPlatform{forwarding, web, processes, times},
                                                  settings, events, turnChecker, watchdog);
    }
    // Runs one setup to its end (the hourglass gone again).
    void Setup(const std::function<void()>& whileWatching = {}) {
        const qsizetype before = events.busy.size();
        hosting->RunSetup();
        if (whileWatching) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return bool(processes.output) || !hosting->SetupRunning(); }, 5000));
            whileWatching();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !hosting->SetupRunning(); }, 20000)) << "the setup did not end";
        ASSERT_GE(events.busy.size(), before);
    }

    Settings settings{SettingsEnvironment{}};
    FakeForwarding forwarding;
    FakeWeb web;
    FakeProcesses processes;
    FakeTimes times;
    RecordingEvents events;
    QTimer turnChecker, watchdog;
    std::unique_ptr<TRelayHosting> hosting;
};

TEST_F(RelayHostingTest, SetupPaths) {
    const QString start =
        "start /opt/corvala/crserver -public-ip 203.0.113.7 -port 3478 -users us1234=pw4567";
    const struct {
        const char* name;
        QString publicIp;
        std::vector<pid_t> running;
        bool startFails;
        std::vector<QByteArray> output;  // what the relay prints
        bool endsItself;
        QStringList processLog;
        bool announced;
    } cases[] = {
        {"no public address", "", {}, false, {}, false, {}, false},
        {"an answer that is no address", "203.0.113.256", {}, false, {}, false, {}, false},
        {"a page instead of an address", "<html>203.0.113.7</html>", {}, false, {}, false, {}, false},
        {"a running relay is reused without a probe", "203.0.113.7", {77}, false, {}, false, {}, true},
        {"the marker, split across two pieces", "203.0.113.7", {}, false,
         {"crserver listening on 0.0.0.0:3478\nerror when han", "dling datagram from 10.0.0.1\n"}, false, {start}, true},
        {"no marker within the limit", "203.0.113.7", {}, false, {"crserver listening\n", "error when\n"}, false,
         {start, "kill"}, false},
        {"the relay ends by itself", "203.0.113.7", {}, false, {"bind failed\n"}, true, {start}, false},
        {"the relay cannot be started", "203.0.113.7", {}, true, {}, false, {start}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        web = FakeWeb();
        web.publicIp = c.publicIp;
        processes = FakeProcesses();
        processes.prefix = processes.exact = c.running;
        processes.startFails = c.startFails;
        events = RecordingEvents();
        events.settings = &settings;
        settings.RelayPort = 0;
        Make(300);
        Setup([&] {
            for (const QByteArray& piece : c.output) processes.output(piece);
            if (c.endsItself) processes.ended();
        });
        EXPECT_EQ(processes.log, c.processLog);
        EXPECT_EQ(events.busy, QList<bool>({true, false}));
        EXPECT_EQ(hosting->RelayRunning(), c.announced);
        const bool started = !c.processLog.isEmpty() && !c.startFails;
        EXPECT_EQ(web.probes, started ? QStringList{"203.0.113.7:5555"} : QStringList{});
        if (c.announced) {
            EXPECT_EQ(events.sent, QStringList{QString("publicturn ") + Payload});
            EXPECT_EQ(events.iceServers, QStringList{"turn:203.0.113.7:5555 us1234 pw4567"});
            EXPECT_TRUE(watchdog.isActive());
            EXPECT_EQ(watchdog.interval(), 30000);
        } else {
            EXPECT_TRUE(events.sent.isEmpty());
            EXPECT_TRUE(events.iceServers.isEmpty());
            EXPECT_FALSE(watchdog.isActive());
        }
        hosting.reset();
    }
}

TEST_F(RelayHostingTest, CredentialsAndPortAreKeptOrMadeOnceAndSaved) {
    const struct {
        const char* name;
        QString user, password;
        int storedPort;
        bool keptCredentials;
        int port;
    } cases[] = {
        {"stored credentials and port", "us1234", "pw4567", 6001, true, 6001},
        {"no port yet: the mapping chooses it", "us1234", "pw4567", 0, true, 5555},
        {"no user name: both are made anew", "", "pw4567", 6001, false, 6001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.RelayUserName = c.user;
        settings.RelayPassword = c.password;
        settings.RelayPort = c.storedPort;
        events = RecordingEvents();
        events.settings = &settings;
        web.publicIp.clear();
        Make();
        Setup();
        EXPECT_EQ(forwarding.seenPort, c.storedPort);
        EXPECT_EQ(settings.RelayPort, c.port);
        if (c.keptCredentials) {
            EXPECT_EQ(settings.RelayUserName, c.user);
            EXPECT_EQ(settings.RelayPassword, c.password);
        } else {
            const QRegularExpression credential("^[123456789qwrtphnmvgdfxzcaiuey]{6}$");
            EXPECT_TRUE(credential.match(settings.RelayUserName).hasMatch()) << settings.RelayUserName.toStdString();
            EXPECT_TRUE(credential.match(settings.RelayPassword).hasMatch()) << settings.RelayPassword.toStdString();
        }
        // Saved once, already holding what the setup decided.
        EXPECT_EQ(events.saved, QStringList{settings.RelayUserName + '/' + settings.RelayPassword + '/' +
                                            QString::number(c.port)});
        hosting.reset();
    }
}

TEST_F(RelayHostingTest, CountryIsAskedOnceAndAnUnusableAnswerReadsXX) {
    processes.prefix = processes.exact = {77};
    web.country = "D1";
    Make();
    Setup();
    Setup();
    EXPECT_EQ(web.addressQueries, 2) << "the public address is asked at every setup";
    EXPECT_EQ(web.countryQueries, QStringList{"203.0.113.7"});
    EXPECT_EQ(hosting->CountryCode(), "XX");
    ASSERT_EQ(events.sent.size(), 2);
    EXPECT_TRUE(events.sent[1].endsWith(R"("country":"XX"})")) << events.sent[1].toStdString();
}

// A relay that prints nothing before the probe's datagram still gets
// its probe, once the first wait is over.
TEST_F(RelayHostingTest, ASilentRelayIsProbedAfterTheFirstWait) {
    Make(11000, 50);
    hosting->RunSetup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(processes.output); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web.probes.isEmpty(); }, 5000)) << "never probed";
    processes.output("error when handling datagram\n");
    EXPECT_TRUE(hosting->RelayRunning());
    EXPECT_EQ(web.probes, QStringList{"203.0.113.7:5555"});
}

TEST_F(RelayHostingTest, AJoinWhileASetupRunsIsLeftOut) {
    Make(300);
    turnChecker.start(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(processes.output); }, 5000));
    hosting->RunSetup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !hosting->SetupRunning(); }, 5000));
    EXPECT_EQ(forwarding.calls, 1);
    EXPECT_EQ(events.busy, QList<bool>({true, false}));
}

// The watchdog after a setup that reused a running relay: one tick per
// row, each measuring the 30 s (or 10 minutes) since the one before.
TEST_F(RelayHostingTest, WatchdogWithdrawsAboveTheLimitAndAnnouncesAgainAtOrBelowIt) {
    processes.prefix = processes.exact = {77};
    Make();
    Setup();
    events.sent.clear();
    const QString announce = QString("publicturn ") + Payload;
    const struct {
        const char* name;
        float load;
        bool connected;
        std::uint32_t sinceMs;
        QStringList sent;
        bool withdrawn;
        int interval;
    } ticks[] = {
        {"exactly the limit stays announced", 15.0f, true, 30000, {}, false, 30000},
        {"above it: withdrawn, next look in 10 minutes", 15.5f, true, 30000, {"removeturn "}, true, 600000},
        {"still above: nothing more", 40.0f, true, 600000, {}, true, 600000},
        {"exactly the limit again: announced with the last address and country", 15.0f, true, 600000, {announce},
         false, 30000},
        {"above while not joined: withdrawn without a message", 90.0f, false, 30000, {}, true, 600000},
        {"below while not joined: announced without a message", 1.0f, false, 600000, {}, false, 30000},
        {"below while announced: nothing", 0.0f, true, 30000, {}, false, 30000},
    };
    for (const auto& t : ticks) {
        SCOPED_TRACE(t.name);
        events.sent.clear();
        events.connected = t.connected;
        times.Advance(t.load, t.sinceMs);
        hosting->WatchdogTick();
        EXPECT_EQ(events.sent, t.sent);
        EXPECT_EQ(hosting->RelayWithdrawn(), t.withdrawn);
        EXPECT_EQ(watchdog.interval(), t.interval);
        EXPECT_TRUE(watchdog.isActive());
    }
    // A relay whose times cannot be read changes nothing.
    times.readable.clear();
    times.Advance(99.0f);
    events.sent.clear();
    hosting->WatchdogTick();
    EXPECT_TRUE(events.sent.isEmpty());
    EXPECT_FALSE(hosting->RelayWithdrawn());
}

// A setup after a reconnection leaves a withdrawn relay withdrawn; the
// watchdog announces it once it is quiet.
TEST_F(RelayHostingTest, AWithdrawnRelayIsNotAnnouncedByTheNextSetup) {
    processes.prefix = processes.exact = {77};
    Make();
    Setup();
    times.Advance(50.0f);
    hosting->WatchdogTick();
    ASSERT_TRUE(hosting->RelayWithdrawn());
    events.sent.clear();
    Setup();
    EXPECT_TRUE(events.sent.isEmpty());
    EXPECT_TRUE(hosting->RelayWithdrawn());
    EXPECT_EQ(watchdog.interval(), 600000);
    times.Advance(5.0f, 600000);
    hosting->WatchdogTick();
    EXPECT_EQ(events.sent, QStringList{QString("publicturn ") + Payload});
}

TEST_F(RelayHostingTest, ClosingEndsTheRelayItStartedOrReused) {
    const struct {
        const char* name;
        std::vector<pid_t> running;
        QStringList endLog;
    } cases[] = {
        {"started and proven", {}, {"end"}},
        {"reused", {77}, {"end 77"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        processes = FakeProcesses();
        processes.prefix = processes.exact = c.running;
        events = RecordingEvents();
        events.settings = &settings;
        Make();
        Setup([&] {
            if (processes.output) processes.output("error when handling datagram\n");
        });
        ASSERT_TRUE(hosting->RelayRunning());
        ASSERT_TRUE(watchdog.isActive());
        const qsizetype before = processes.log.size();
        hosting->Close();
        EXPECT_EQ(processes.log.mid(before), c.endLog);
        EXPECT_FALSE(watchdog.isActive());
        EXPECT_FALSE(hosting->RelayRunning());
        hosting.reset();
    }
}

// Which processes count as the relay: by the executable name of their
// /proc/PID/stat line.
TEST(RelayProcessNames, PrefixWithoutCaseFindsExactNameMeasures) {
    const struct {
        const char* line;
        std::optional<std::string> name;
        bool zombie, prefix, exact;
    } cases[] = {
        {"4242 (crserver) S 1 2 3", "crserver", false, true, true},
        {"4242 (CRServer) S 1 2 3", "CRServer", false, true, false},
        {"4242 (crserver-old) R 1 2 3", "crserver-old", false, true, false},
        {"4242 (crserver) Z 1 2 3", "crserver", true, true, true},
        {"4242 (crserv) S 1 2 3", "crserv", false, false, false},
        {"4242 (a crserver) S 1 2 3", "a crserver", false, false, false},
        {"4242 (x) y) S 1", "x) y", false, false, false},
        {"4242 crserver S 1", std::nullopt, false, false, false},
        {"4242 (crserver)", std::nullopt, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto read = ReadProcStatName(c.line);
        ASSERT_EQ(read.has_value(), c.name.has_value());
        if (!read) continue;
        EXPECT_EQ(std::string(read->name), *c.name);
        EXPECT_EQ(read->zombie, c.zombie);
        EXPECT_EQ(RelayNameMatches(read->name, RelayNameMatch::Prefix), c.prefix);
        EXPECT_EQ(RelayNameMatches(read->name, RelayNameMatch::Exact), c.exact);
    }
}

}  // namespace
}  // namespace corvala
