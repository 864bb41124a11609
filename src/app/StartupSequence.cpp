#include "app/StartupSequence.h"

#include <fstream>
#include <sstream>

#include "app/PayloadArchive.h"
#include "app/VersionMarker.h"
#include "identity/DeviceIdentity.h"

namespace corvala {

namespace fs = std::filesystem;
namespace files = programfiles;

namespace {

constexpr int DeleteAttempts = 3;
constexpr std::chrono::milliseconds DeleteRetryWait{1000};

bool WriteWholeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Copies beside the destination and renames over it: a destination that is
// a running program is replaced instead of failing with "text file busy".
void CopyReplacing(const fs::path& from, const fs::path& to) {
    fs::path temporary = to;
    temporary += ".part";
    fs::copy_file(from, temporary, fs::copy_options::overwrite_existing);
    fs::rename(temporary, to);
}

std::vector<std::string> ReadUtf8Lines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot open file \"" + path.string() + "\".");
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (in.bad()) throw std::runtime_error("Cannot read file \"" + path.string() + "\".");
    if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
    return lines;
}

// A file name that stays inside the folder it is joined to.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

}  // namespace

StartupSequence::StartupSequence(StartupPlatform platform, StartupInputs inputs, ProcessState& state)
    : platform_(std::move(platform)), inputs_(std::move(inputs)), state_(state) {}

fs::path StartupSequence::InFolder(const char* name) const { return inputs_.folders.program / name; }

std::string StartupSequence::RunningName() const { return inputs_.runningExecutable.filename().string(); }

std::string StartupSequence::Format(const char* text) const {
    std::string out = text;
    if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, inputs_.supportContact);
    return out;
}

StartupResult StartupSequence::Run() {
    result_ = {};
    result_.switches = CommandLineSwitches::Parse(inputs_.arguments);
    const auto& sw = result_.switches;

    if (sw.sendsas) {
        platform_.secureAttention.Press();
        return result_;
    }
    if (EndsForRunningInstance()) return result_;
    if (platform_.startCaptureThread) {
        try {
            platform_.startCaptureThread();
        } catch (...) {
            // Without the thread a locked host streams an empty copy window.
        }
    }
    if (!ComputeIdentity()) return result_;
    if (!PrepareFolders()) return result_;
    // The language table is linked in and loaded when the main window builds it.
    RemoveLeftoverUpdate();
    if (!ReplaceOlderProgram()) return result_;
    WriteRootCertificate();
    InstallPayloadIfIncomplete();
    if (!sw.fromApplication && !sw.fromService && !CopyBranding()) return result_;
    if (!CheckPresence()) return result_;
    if (!DispatchRole()) return result_;
    ApplyBranding();
    result_.outcome = StartupOutcome::RunMessageLoop;
    return result_;
}

bool StartupSequence::EndsForRunningInstance() {
    const bool existed = platform_.instanceLock.CreateAndTestExisting();
    result_.ownsInstanceLock = !existed;
    if (!existed || result_.switches.fromService || result_.switches.fromApplication) return false;
    if (!platform_.instanceChannel.SendToRunningWindow(platform::ShowWindowMessage)) {
        platform_.messages.Warning("The application is already running on this computer.\r\nClick at the tray icon.");
        return true;
    }
    if (!inputs_.connectRequest.empty())
        platform_.instanceChannel.SendToRunningWindow(
            {platform::ConnectRequestMessage, 0, 0, inputs_.connectRequest});
    return true;
}

bool StartupSequence::ComputeIdentity() {
    try {
        result_.macAddressText = identity::ComputeMacAddressText(platform_.adapters);
        result_.machineFingerprint =
            identity::ComputeMachineFingerprint(platform_.drives, result_.macAddressText);
    } catch (const std::exception& error) {
        platform_.messages.Error(std::string(error.what()) + " " + "Please contact developers.");
        return false;
    }
    if (result_.machineFingerprint.empty()) {
        platform_.messages.Error("Error 812. Please contact developers.");
        return false;
    }
    result_.macAddressText = identity::HyphenateMacAddressText(result_.macAddressText);
    return true;
}

bool StartupSequence::PrepareFolders() {
    std::error_code ec;
    const fs::path& program = inputs_.folders.program;
    if (!fs::is_directory(program, ec)) {
        fs::create_directories(program, ec);
        if (!fs::is_directory(program, ec)) {
            platform_.messages.Error("Unable create directory " + program.string());
            state_.EventsSuspended = true;
            return false;
        }
    }
    fs::create_directories(inputs_.folders.received, ec);
    return true;
}

void StartupSequence::RemoveLeftoverUpdate() {
    if (RunningName() == files::Update) return;
    std::error_code ec;
    fs::remove(InFolder(files::Update), ec);
    // What a download that never ended left under its temporary name
    // (web/HttpClient.h).
    fs::path partial = InFolder(files::Update);
    partial += ".part";
    fs::remove(partial, ec);
}

bool StartupSequence::ReplaceOlderProgram() {
    const fs::path installed = InFolder(files::Program);
    std::error_code ec;
    if (!fs::exists(installed, ec)) return true;
    // An installed file without a readable marker counts as the oldest version.
    const int installedVersion = ReadVersionNumber(installed).value_or(0);
    if (installedVersion >= inputs_.ownVersion) return true;

    if (RunningName() == files::Update && installedVersion <= LastVersionWithoutSelfUpdate) {
        const std::string downloads = inputs_.webSiteAddress + "/downloads/";
        platform_.messages.Warning(
            "Automatic update failed.\r\n\r\nPlease download new version on our website:\r\n\r\n" + downloads);
        platform_.shell.Execute("open", downloads, "");
        state_.EventsSuspended = true;
        return false;
    }
    for (int attempt = 1; attempt <= DeleteAttempts; ++attempt) {
        if (fs::remove(installed, ec) || !fs::exists(installed, ec)) break;
        platform_.sleep(DeleteRetryWait);
    }
    return true;
}

void StartupSequence::WriteRootCertificate() {
    std::error_code ec;
    const fs::path path = InFolder(files::RootCertificate);
    if (!fs::exists(path, ec)) WriteWholeFile(path, inputs_.rootCertificate);
}

void StartupSequence::InstallPayloadIfIncomplete() {
    std::error_code ec;
    if (fs::exists(InFolder(files::Program), ec) && fs::exists(InFolder(files::RelayServer), ec)) return;
    try {
        if (!fs::equivalent(inputs_.runningExecutable, InFolder(files::Program), ec))
            CopyReplacing(inputs_.runningExecutable, InFolder(files::Program));
    } catch (const std::exception&) {
    }
    const fs::path archive = InFolder(files::PayloadArchive);
    if (WriteWholeFile(archive, inputs_.payload)) ExtractArchive(archive, inputs_.folders.program);
    fs::remove(archive, ec);
}

bool StartupSequence::CopyBranding() {
    const fs::path launcherFolder = inputs_.runningExecutable.parent_path();
    const fs::path source = launcherFolder / files::BrandingSource;
    std::error_code ec;
    if (!fs::exists(source, ec)) {
        fs::remove(InFolder(files::Branding), ec);
        return true;
    }
    try {
        const auto lines = ReadUtf8Lines(source);
        if (lines.size() >= 2 && IsPlainFileName(lines[1]) && fs::is_regular_file(launcherFolder / lines[1])) {
            if (!fs::equivalent(launcherFolder, inputs_.folders.program, ec))
                fs::copy_file(launcherFolder / lines[1], InFolder(lines[1].c_str()),
                              fs::copy_options::overwrite_existing);
        }
        fs::copy_file(source, InFolder(files::Branding), fs::copy_options::overwrite_existing);
    } catch (const std::exception& error) {
        platform_.messages.Error(std::string(error.what()) + " " + "Error code: 3723. " + "Please contact developers.");
        return false;
    }
    return true;
}

bool StartupSequence::CheckPresence() {
    struct Check {
        const char* file;
        const char* message;
    };
    static constexpr Check checks[] = {
        {files::CompanionService, "Please contact developers at %s and report the following error code: 324"},
        {files::Program, "Please contact developers at %s and report the following error code: 325"},
        {files::RelayServer, "Please contact developers at %s and report the following error code: 326"},
    };
    std::error_code ec;
    for (const auto& check : checks) {
        if (!fs::exists(InFolder(check.file), ec)) {
            platform_.messages.Error(Format(check.message));
            return false;
        }
    }
    return true;
}

bool StartupSequence::DispatchRole() {
    const auto& sw = result_.switches;
    const std::string companion = InFolder(files::CompanionService).string();
    if (!sw.fromApplication && !sw.fromService) {
        // The launcher: the companion service starts the long-lived copy; if
        // elevation is refused, start it ourselves.
        int shellResult = platform_.shell.Execute("runas", companion, "/install /silent");
        if (platform::ShellSucceeded(shellResult)) return false;
        if (inputs_.connectArguments.empty()) {
            platform_.shell.Execute("open", InFolder(files::Program).string(), "/from_application");
            return false;
        }
        if (platform_.passConnectPassword) platform_.passConnectPassword(inputs_.connectPassword);
        platform_.shell.Execute("open", InFolder(files::Program).string(),
                                "/from_application " + inputs_.connectArguments);
        return false;
    }
    if (sw.fromService) {
        std::error_code ec;
        if (fs::exists(InFolder(files::AutostartMarker), ec)) {
            state_.StartHidden = true;
        } else {
            // The service was installed only to launch this copy. The
            // one-shot launch leaves nothing installed here, so undoing it
            // needs no elevation and asks the user for no password.
            platform_.shell.Execute("open", companion, "/uninstall /silent");
        }
        if (!fs::exists(InFolder(files::Settings), ec)) {
            platform_.firewall.AddProgramRules("Corvala", inputs_.runningExecutable.string());
            platform_.firewall.AddProgramRules(files::RelayServer, InFolder(files::RelayServer).string());
        }
    }
    return true;
}

void StartupSequence::ApplyBranding() {
    std::error_code ec;
    state_.Branded = fs::exists(InFolder(files::Branding), ec);
    if (state_.Branded) state_.Theme = ThemeColours::Branded();
}

}  // namespace corvala
