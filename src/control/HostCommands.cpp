#include "control/HostCommands.h"

#include <filesystem>

#include "base/Log.h"
#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "screen/JpegFile.h"

namespace corvala {

namespace {

namespace fs = std::filesystem;

// What the viewer is told when the host's desktop lacks what a command needs.
const char* NotAvailableKey(int n) {
    switch (n) {
        case ControlOpenTaskManager: return "The remote computer has no system monitor to open.";
        case ControlMakeScreenshot: return "The remote computer could not take a screenshot.";
        case ControlLockPc:
            return "The remote computer could not be locked: its session manager refused or is missing.";
        case ControlRebootPc:
            return "The remote computer could not be restarted: its session manager refused or is missing.";
        case ControlShutdownPc:
            return "The remote computer could not be shut down: its session manager refused or is missing.";
        case ControlSendCtrlAltDel: return "The remote computer could not send Ctrl+Alt+Del.";
        case ControlShowRemoteCursor: return "The remote computer has no screen magnifier installed.";
        default: return nullptr;
    }
}

}  // namespace

const std::vector<std::string>& HostCommands::SystemMonitors() {
    static const std::vector<std::string> names = {"gnome-system-monitor", "plasma-systemmonitor", "ksysguard",
                                                   "mate-system-monitor",  "xfce4-taskmanager",    "lxtask"};
    return names;
}

HostCommands::HostCommands(HostCommandsPlatform platform, platform::ProgramFolders folders, IRtcClientPort& rtc,
                           PeerMessenger& messenger, IHostCommandEvents& events, HostCommandTimers timers)
    : FPlatform(platform),
      FFolders(std::move(folders)),
      FRtc(rtc),
      FMessenger(messenger),
      FEvents(events),
      FTimers(timers),
      FMagnifier(platform.Programs, timers.MagnifierMinimizer) {}

// ---- host ------------------------------------------------------------------

void HostCommands::Arm(int n) {
    FPending = n;
    FTimers.ControlCommand.start();
}

void HostCommands::ControlCommandTick() {
    // Retried at the next tick.
    if (processState().EventsSuspended) return;
    FTimers.ControlCommand.stop();
    const int n = FPending;
    FPending = 0;
    Run(n);
}

void HostCommands::Run(int n) {
    const QString viewer = FRtc.CurrentViewingPeerID();
    qCInfo(lcControl) << "host command" << n << "for" << viewer;
    switch (n) {
        case ControlOpenTaskManager: {
            std::string path;
            for (const std::string& name : SystemMonitors())
                if (path.empty()) path = FPlatform.Programs.FindOnPath(name);
            if (path.empty()) return Refuse(viewer, n, "no system monitor is installed");
            if (FPlatform.Programs.Start(path) < 0) return Refuse(viewer, n, "the system monitor did not start");
            return;
        }
        case ControlSendAltTab:
            FPlatform.Injector.InjectVirtualKey(vk::Menu, false, false);
            FPlatform.Injector.InjectVirtualKey(vk::Tab, false, false);
            FPlatform.Injector.InjectVirtualKey(vk::Tab, true, false);
            FPlatform.Injector.InjectVirtualKey(vk::Menu, true, false);
            return;
        case ControlMakeScreenshot: return Screenshot();
        case ControlLockPc: return RequestSession(n, platform::SessionAction::Lock);
        case ControlRebootPc: return RequestSession(n, platform::SessionAction::Reboot);
        case ControlShutdownPc: return RequestSession(n, platform::SessionAction::PowerOff);
        case ControlSendCtrlAltDel: {
            // A copy of the program presses the sequence, as the lock screen
            // may belong to another X client than this one.
            const fs::path program = FFolders.program / programfiles::Program;
            if (!fs::exists(program)) return Refuse(viewer, n, "the program file is missing");
            if (!platform::ShellSucceeded(FPlatform.Shell.Execute("open", program.string(), "/sendsas")))
                return Refuse(viewer, n, "the program copy did not start");
            return;
        }
        case ControlShowRemoteCursor: {
            const Magnifier::Outcome outcome = DriveMagnifier(true, false);
            if (outcome == Magnifier::Outcome::NotInstalled) return Refuse(viewer, n, "no magnifier is installed");
            if (outcome == Magnifier::Outcome::StartFailed) return Refuse(viewer, n, "the magnifier did not start");
            return;
        }
        default: return;  // accepted, nothing to do
    }
}

void HostCommands::Screenshot() {
    const QString viewer = FRtc.CurrentViewingPeerID();
    platform::DesktopPicture picture;
    if (!FPlatform.Capture.CaptureDesktop(picture, false))
        return Refuse(viewer, ControlMakeScreenshot, "the screen cannot be read");
    FPlatform.Clipboard.SetImage(picture);
    // While a transfer runs the screenshot stays on the clipboard only.
    if (processState().TransferMode != TTransferMode::Idle) return;
    std::error_code ec;
    fs::create_directories(FFolders.received, ec);
    const fs::path path = FFolders.received / ScreenshotFileName;
    if (const std::string error = WriteJpegFile(picture, path); !error.empty()) {
        qCWarning(lcControl) << "the screenshot was not written:" << QString::fromStdString(error);
        return Refuse(viewer, ControlMakeScreenshot, "the screenshot file could not be written");
    }
    FEvents.SendFileToViewer(QString::fromStdString(path.string()), viewer);
}

void HostCommands::RequestSession(int n, platform::SessionAction action) {
    const QString viewer = FRtc.CurrentViewingPeerID();
    FPlatform.System.Request(action, [this, viewer, n](bool accepted) {
        if (!accepted) Refuse(viewer, n, "the session manager did not take the request");
    });
}

Magnifier::Outcome HostCommands::DriveMagnifier(bool start, bool minimize) { return FMagnifier.Drive(start, minimize); }

void HostCommands::Refuse(const QString& peerId, int n, const char* why) {
    qCWarning(lcControl) << "host command" << n << "from" << peerId << "cannot run:" << why;
    if (const auto peer = FRtc.FindPeer(peerId))
        FMessenger.SendDataToPeer(*peer, QString::fromLatin1(commands::NoControl) + QString::number(n));
}

// ---- viewer ----------------------------------------------------------------

void HostCommands::ArmCannotCtrlAltDelDialog() { FTimers.ShowCannotProcessCtrlAltDelDialog.start(); }

void HostCommands::CannotCtrlAltDelTick() {
    FTimers.ShowCannotProcessCtrlAltDelDialog.stop();
    FEvents.ShowNotice(translate("Unfortunately, Ctrl+Alt+Del can only be used on the Lock screen."));
}

void HostCommands::ShowNotAvailable(int n) {
    const QString text = NotAvailableText(n);
    if (text.isEmpty()) {
        qCWarning(lcControl) << "\"NOCONTROL\" for an unknown command" << n << "dropped";
        return;
    }
    FEvents.ShowNotice(text);
}

QString HostCommands::NotAvailableText(int n) {
    const char* key = NotAvailableKey(n);
    return key ? translate(QString::fromUtf8(key)) : QString();
}

}  // namespace corvala
