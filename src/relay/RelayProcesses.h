#pragma once
// The relay program as processes of this computer: finding one that runs,
// starting ours with its output watched, and ending it. The real ones read
// /proc and start the program with QProcess; tests use fakes.

#include "platform/Folders.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QProcess;

namespace corvala {

// The relay's executable name in the program folder.
inline constexpr const char* RelayProgramName = platform::programfiles::RelayServer;

// How a process's executable name is compared with RelayProgramName.
enum class RelayNameMatch {
    Prefix,  // begins with it, without regard to case (finding a relay to reuse or end)
    Exact,   // equals it (the process the load watchdog measures)
};

// A relay this program started.
class IRelayProcess {
public:
    virtual ~IRelayProcess() = default;
    virtual pid_t Pid() const = 0;
    // Ends it at once (the relay that did not prove itself).
    virtual void Kill() = 0;
    // SIGTERM, then SIGKILL when it has not ended after a short grace; waits
    // for the end. Nothing when it has ended already.
    virtual void End() = 0;
};

class IRelayProcesses {
public:
    virtual ~IRelayProcesses() = default;
    // The lowest process ID whose executable name matches; nothing when no
    // such process runs.
    virtual std::optional<pid_t> Find(RelayNameMatch match) = 0;
    // Starts `program` with `arguments` (no shell), standard output and
    // standard error joined. `output` receives what it writes, piece by piece,
    // and `ended` its end, both on the calling thread's event loop; neither is
    // called after the returned object is gone. Nothing when it cannot start.
    virtual std::unique_ptr<IRelayProcess> Start(const QString& program, const QStringList& arguments,
                                                 std::function<void(QByteArrayView)> output,
                                                 std::function<void()> ended) = 0;
    // Ends a relay this program did not start (SIGTERM, then SIGKILL after a
    // short grace), unless its name no longer matches.
    virtual void End(pid_t pid) = 0;
};

// The executable name of a /proc/PID/stat line (between the first "(" and
// the last ")"), and whether the process is a zombie; nothing when the line
// is not one.
struct ProcStatName {
    std::string_view name;
    bool zombie = false;
};
std::optional<ProcStatName> ReadProcStatName(std::string_view line);
bool RelayNameMatches(std::string_view executableName, RelayNameMatch match);

class ProcRelayProcesses final : public IRelayProcesses {
public:
    // `grace`: how long an ended relay may take before it is killed.
    explicit ProcRelayProcesses(std::chrono::milliseconds grace = std::chrono::seconds(2)) : FGrace(grace) {}
    std::optional<pid_t> Find(RelayNameMatch match) override;
    std::unique_ptr<IRelayProcess> Start(const QString& program, const QStringList& arguments,
                                         std::function<void(QByteArrayView)> output,
                                         std::function<void()> ended) override;
    void End(pid_t pid) override;

private:
    std::chrono::milliseconds FGrace;
};

}  // namespace corvala
