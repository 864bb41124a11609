#pragma once
// The data channel's command words and the few shared values around them.
// Keywords are upper-case and case-sensitive; an argument follows its
// keyword directly.

#include "base/ProcessState.h"

namespace corvala {

namespace commands {
inline constexpr char Reconnect[] = "RECONNECT";
inline constexpr char Disconnect[] = "DISCONNECT";
inline constexpr char OpenDocsDir[] = "OPENDOCSDIR";
inline constexpr char DemonstrationOn[] = "DEMONSTRATION_ON";
inline constexpr char DemonstrationOff[] = "DEMONSTRATION_OFF";
inline constexpr char Speak[] = "SPEAK";
inline constexpr char NoSpeak[] = "NOSPEAK";
inline constexpr char LockScreenOff[] = "LOCKSCREEN_OFF";
inline constexpr char ZoomIn[] = "ZOOMIN";
inline constexpr char ZoomOut[] = "ZOOMOUT";
inline constexpr char Chat[] = "CHAT";
inline constexpr char Clipboard[] = "CLIPBRD";
inline constexpr char Control[] = "CONTROL";
// Host to viewer: "NOCONTROL" + n, command n cannot run on this host's
// desktop (nothing there to do it). A peer that does not know it ignores it.
inline constexpr char NoControl[] = "NOCONTROL";
}  // namespace commands

// Texts the control logic asks the main window to show, in English; the
// window translates them.
namespace control_texts {
inline constexpr char DemonstrationRejects[] =
    "Remote side is running in the Demonstration mode. It rejects the control commands.";
inline constexpr char Demonstration[] = "DEMONSTRATION";
}  // namespace control_texts

// Host command numbers sent with "CONTROL" (the work behind them belongs to
// the host-commands module).
inline constexpr int ControlOpenTaskManager = 1;
inline constexpr int ControlSendAltTab = 2;
inline constexpr int ControlMakeScreenshot = 3;
inline constexpr int ControlLockPc = 4;
inline constexpr int ControlRebootPc = 5;
inline constexpr int ControlShutdownPc = 6;
inline constexpr int ControlSendCtrlAltDel = 7;
inline constexpr int ControlShowRemoteCursor = 8;

// Windows virtual-key codes the protocol itself names.
namespace vk {
inline constexpr int Tab = 0x09;
inline constexpr int Menu = 0x12;  // Alt
inline constexpr int Escape = 27;
inline constexpr int F4 = 115;
inline constexpr int LeftWin = 0x5B;
inline constexpr int RightWin = 0x5C;
inline constexpr int Add = 0x6B;       // numeric-pad plus
inline constexpr int Subtract = 0x6D;  // numeric-pad minus
}  // namespace vk

}  // namespace corvala
