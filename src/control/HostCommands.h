#pragma once
// The host's system commands ("CONTROL" + n from a viewer) and the viewer's
// notices about them.
//
// Host: the dispatcher arms one pending command; TimerControlCommand runs it
// on its next tick, on the main thread, outside the data channel's
// hand-over. A command this desktop cannot carry out (no session manager,
// no magnifier, no system monitor, the screen unreadable) answers the
// viewer "NOCONTROL" + n instead of doing nothing.
// Viewer: "LOCKSCREEN_OFF" and "NOCONTROL" + n become notices in the
// message box.

#include <QString>
#include <QTimer>

#include "control/Magnifier.h"
#include "control/PeerMessenger.h"
#include "media/RtcClientPort.h"
#include "platform/Clipboard.h"
#include "platform/DesktopCapture.h"
#include "platform/DesktopPrograms.h"
#include "platform/Folders.h"
#include "platform/InputInjector.h"
#include "platform/Shell.h"
#include "platform/SystemControl.h"

namespace corvala {

// What the commands need from the rest of the program; the core implements it.
class IHostCommandEvents {
public:
    // Offers the file to the viewer through the file transfer.
    virtual void SendFileToViewer(const QString& path, const QString& peerId) = 0;
    // The message box, with a translated text.
    virtual void ShowNotice(const QString& text) = 0;

protected:
    ~IHostCommandEvents() = default;
};

// The desktop as the commands use it; main.cpp makes these.
struct HostCommandsPlatform {
    platform::IInputInjector& Injector;  // Alt+Tab, at once
    platform::IShell& Shell;             // the copy that presses Ctrl+Alt+Del
    platform::ISystemControl& System;    // lock, reboot, power-off
    platform::IDesktopPrograms& Programs;
    platform::IDesktopCapture& Capture;  // the screenshot
    platform::IClipboard& Clipboard;
};

// The timers the core owns for these commands.
struct HostCommandTimers {
    QTimer& ControlCommand;
    QTimer& MagnifierMinimizer;
    QTimer& ShowCannotProcessCtrlAltDelDialog;
};

class HostCommands {
public:
    // The desktop's system monitors, looked for on PATH in this order.
    static const std::vector<std::string>& SystemMonitors();
    static constexpr char ScreenshotFileName[] = "screenshot.jpg";

    HostCommands(HostCommandsPlatform platform, platform::ProgramFolders folders, IRtcClientPort& rtc,
                 PeerMessenger& messenger, IHostCommandEvents& events, HostCommandTimers timers);

    // ---- Host.
    // "CONTROL" + n: runs n at TimerControlCommand's next tick; an earlier
    // command still waiting is replaced.
    void Arm(int n);
    int PendingCommand() const { return FPending; }
    // TimerControlCommand: waits while events are suspended, then runs the
    // pending command once.
    void ControlCommandTick();
    // Start (with `minimize`: minimised once it shows) or end the magnifier;
    // for command 8 and a mobile viewer's admission.
    Magnifier::Outcome DriveMagnifier(bool start, bool minimize);
    void MagnifierMinimizerTick() { FMagnifier.MinimizerTick(); }

    // ---- Viewer.
    // "LOCKSCREEN_OFF": the notice a second later (the timer's tick).
    void ArmCannotCtrlAltDelDialog();
    void CannotCtrlAltDelTick();
    // "NOCONTROL" + n: what the host could not do, in the message box.
    void ShowNotAvailable(int n);
    // The notice for command n (translated); empty for numbers that have none.
    static QString NotAvailableText(int n);

private:
    void Run(int n);
    void Screenshot();
    void RequestSession(int n, platform::SessionAction action);
    // "NOCONTROL" + n to the viewer who asked, and the reason in the log.
    void Refuse(const QString& peerId, int n, const char* why);

    HostCommandsPlatform FPlatform;
    platform::ProgramFolders FFolders;
    IRtcClientPort& FRtc;
    PeerMessenger& FMessenger;
    IHostCommandEvents& FEvents;
    HostCommandTimers FTimers;
    Magnifier FMagnifier;
    int FPending = 0;  // TimerControlCommand's tag
};

}  // namespace corvala
