#include "relay/RelayProcesses.h"

#include "relay/RelayHostingLog.h"

#include <QDir>
#include <QProcess>

#include <signal.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace corvala {
namespace {

// The pieces the relay's output is read in.
constexpr qint64 OutputPieceBytes = 2400;
// A /proc/PID/stat line is a few hundred bytes; a longer one is not read.
constexpr std::size_t MaxStatLine = 4096;

std::optional<std::string> StatLine(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!file || !std::getline(file, line) || line.size() > MaxStatLine) return std::nullopt;
    return line;
}

// The process exists, is no zombie and its name still matches.
bool StillRelay(pid_t pid, RelayNameMatch match) {
    const auto line = StatLine(pid);
    if (!line) return false;
    const auto name = ReadProcStatName(*line);
    return name && !name->zombie && RelayNameMatches(name->name, match);
}

class QtRelayProcess final : public IRelayProcess {
public:
    QtRelayProcess(std::unique_ptr<QProcess> process, std::chrono::milliseconds grace)
        : FProcess(std::move(process)), FGrace(grace) {}
    ~QtRelayProcess() override {
        // QProcess ends a running child in its destructor and would report
        // that to callbacks whose owner is going away.
        FProcess->disconnect();
    }
    pid_t Pid() const override { return pid_t(FProcess->processId()); }
    void Kill() override {
        if (FProcess->state() == QProcess::NotRunning) return;
        FProcess->kill();
        FProcess->waitForFinished(int(FGrace.count()));
    }
    void End() override {
        if (FProcess->state() == QProcess::NotRunning) return;
        FProcess->terminate();
        if (FProcess->waitForFinished(int(FGrace.count()))) return;
        qCWarning(lcRelayHosting) << "the relay" << Pid() << "did not end on SIGTERM: killed";
        Kill();
    }

private:
    std::unique_ptr<QProcess> FProcess;
    std::chrono::milliseconds FGrace;
};

}  // namespace

std::optional<ProcStatName> ReadProcStatName(std::string_view line) {
    const auto open = line.find('(');
    const auto close = line.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
    // After the name: a space and the one-letter state.
    if (close + 2 >= line.size() || line[close + 1] != ' ') return std::nullopt;
    return ProcStatName{line.substr(open + 1, close - open - 1), line[close + 2] == 'Z'};
}

bool RelayNameMatches(std::string_view executableName, RelayNameMatch match) {
    const std::string_view wanted = RelayProgramName;
    if (match == RelayNameMatch::Exact) return executableName == wanted;
    if (executableName.size() < wanted.size()) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(executableName[i])) != wanted[i]) return false;
    return true;
}

std::optional<pid_t> ProcRelayProcesses::Find(RelayNameMatch match) {
    std::optional<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (!number || pid <= 0 || (found && pid >= *found)) continue;
        if (StillRelay(pid, match)) found = pid;
    }
    return found;
}

std::unique_ptr<IRelayProcess> ProcRelayProcesses::Start(const QString& program, const QStringList& arguments,
                                                         std::function<void(QByteArrayView)> output,
                                                         std::function<void()> ended) {
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setInputChannelMode(QProcess::ManagedInputChannel);
    QProcess* raw = process.get();
    QObject::connect(raw, &QProcess::readyReadStandardOutput, raw, [raw, output] {
        while (raw->bytesAvailable() > 0) {
            const QByteArray piece = raw->read(OutputPieceBytes);
            if (piece.isEmpty()) break;
            output(piece);
        }
    });
    QObject::connect(raw, &QProcess::finished, raw, [ended](int, QProcess::ExitStatus) { ended(); });
    raw->start(program, arguments);
    if (!raw->waitForStarted()) {
        qCWarning(lcRelayHosting) << "the relay" << program << "could not be started:" << raw->errorString();
        raw->disconnect();
        return nullptr;
    }
    return std::make_unique<QtRelayProcess>(std::move(process), FGrace);
}

void ProcRelayProcesses::End(pid_t pid) {
    if (pid <= 0 || !StillRelay(pid, RelayNameMatch::Prefix)) return;
    if (::kill(pid, SIGTERM) != 0) {
        qCWarning(lcRelayHosting) << "the relay" << pid << "cannot be ended:" << std::strerror(errno);
        return;
    }
    const auto until = std::chrono::steady_clock::now() + FGrace;
    while (std::chrono::steady_clock::now() < until) {
        if (!StillRelay(pid, RelayNameMatch::Prefix)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!StillRelay(pid, RelayNameMatch::Prefix)) return;
    qCWarning(lcRelayHosting) << "the relay" << pid << "did not end on SIGTERM: killed";
    ::kill(pid, SIGKILL);
}

}  // namespace corvala
