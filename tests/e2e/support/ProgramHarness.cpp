#include "ProgramHarness.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include <QString>

#include "E2eSupport.h"
#include "ServerProcess.h"
#include "TlsLineClient.h"
#include "identity/DeviceIdentity.h"
#include "platform/linux/LinuxDriveIdentification.h"
#include "platform/linux/LinuxNetworkAdapters.h"
#include "settings/Settings.h"
#include "signalling/SignallingMessage.h"

namespace corvala::e2e {

namespace fs = std::filesystem;

void WriteProgramSettings(const fs::path& home, const std::string& deviceId, const std::string& staticPassword,
                          std::optional<std::array<int, 4>> masterModeWindowRect, const HostPolicy& policy) {
    platform::linuxos::LinuxNetworkAdapters adapters;
    platform::linuxos::LinuxDriveIdentification drives;
    SettingsEnvironment env;
    env.FilePath = QString::fromStdString((home / "set.dt").string());
    env.PrimaryScreenSize = QSize(1280, 800);  // the tests' Xvfb displays
    env.MachineFingerprint = QString::fromStdString(
        identity::ComputeMachineFingerprint(drives, identity::ComputeMacAddressText(adapters)));
    Settings settings(env);
    settings.DeviceId = QString::fromStdString(deviceId);
    if (!staticPassword.empty()) {
        settings.RandomPasswordMode = false;
        settings.HostPassword = QString::fromStdString(staticPassword);
    }
    if (masterModeWindowRect) {
        const auto& r = *masterModeWindowRect;
        settings.MasterModeWindowRect = {r[0], r[1], r[2], r[3]};
    }
    settings.AllowOnlyViewing = policy.AllowOnlyViewing;
    if (policy.WhiteList) {
        settings.WhiteListEnabled = true;
        for (const auto& id : *policy.WhiteList) settings.WhiteList << QString::fromStdString(id);
    }
    fs::create_directories(home);
    if (!settings.write()) throw std::runtime_error("cannot write settings into " + home.string());
}

std::map<std::string, std::string> ProgramEnvironment(const fs::path& folder, int signallingPort,
                                                      const std::string& display, const std::string& answer) {
    fs::create_directories(folder / "runtime");
    ::chmod((folder / "runtime").c_str(), 0700);
    std::map<std::string, std::string> env = {
        {"CORVALA_HOME", (folder / "home").string()},
        {"CORVALA_RECEIVED", (folder / "received").string()},
        {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
        {"CORVALA_SIGNALLING", "127.0.0.1:" + std::to_string(signallingPort)},
        {"CORVALA_ICE_SERVERS", ""},
        {"CORVALA_AUTO_ANSWER", answer},
        {"CORVALA_MESSAGE_LOG", (folder / "messages.log").string()},
        {"QT_QPA_PLATFORM", display.empty() ? "offscreen" : "xcb"},
        // No test reaches the machine's system bus; tests that need logind
        // point this at a bus of their own.
        {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (folder / "no-system-bus").string()},
    };
    if (!display.empty()) env["DISPLAY"] = display;
    return env;
}

bool ProgramJoined(int port, const std::string& deviceId, const std::string& caFile,
                   std::chrono::milliseconds answerWait) {
    using namespace std::chrono_literals;
    const QString probeId = "987654321";
    testing::TlsLineClient probe;
    if (!probe.connect(static_cast<std::uint16_t>(port), caFile)) return false;
    probe.writeLine(GetMessage(probeId, "join", {}, {}, probeId).toStdString());
    if (!probe.readLine(5s)) return false;  // "joined"
    probe.writeLine(GetMessage(probeId, "message", QString::fromStdString(deviceId), "ping").toStdString());
    auto answer = probe.readLine(answerWait);
    return !answer || answer->find("invalid_id") == std::string::npos;
}

std::vector<std::string> SignalServerArguments(const std::string& port, const std::string& chain,
                                               const std::string& key) {
    return {"--port", port, "--bind", "127.0.0.1", "--cert", testing::PkiFile(chain), "--key", testing::PkiFile(key)};
}

std::string MessageLog(const fs::path& folder) {
    std::ifstream in(folder / "messages.log");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteOpenRecorder(const fs::path& folder, const fs::path& log) {
    fs::create_directories(folder);
    std::ofstream(folder / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << log.string() << "'\n";
    fs::permissions(folder / "xdg-open", fs::perms::owner_all);
}

std::pair<int, int> ChooserOkButton(const WindowBox& box) {
    // The choosers' frame (2), the panel's margin (8), Cancel (86), the gap
    // (6) and half of OK (43); the bottom panel is 41 high.
    constexpr int Border = 2, Margin = 8, Cancel = 86, Gap = 6, HalfOk = 43, BottomPanel = 41;
    return {box.x + box.width - Border - Margin - Cancel - Gap - HalfOk, box.y + box.height - Border - BottomPanel / 2};
}

std::vector<std::string> HostCommand() { return {(BinFolder() / "cr").string(), "/from_application"}; }

Command ViewerCommand(const std::string& hostId, const std::string& password) {
    Command command{HostCommand(), {{"CORVALA_CONNECT_PASSWORD", password}}, {}};
    command.Arguments.insert(command.Arguments.end(), {"--connect", hostId});
    return command;
}

}  // namespace corvala::e2e
