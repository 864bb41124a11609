#pragma once
// Running copies of the real program in end-to-end tests: their settings
// and their environment.

#include <array>
#include <chrono>
#include <optional>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "E2eSupport.h"

namespace corvala::e2e {

// Writes the "set.dt" a copy will find in `home`: a known DeviceId and, when
// given, a static password; bound to this machine's fingerprint exactly as
// the program computes it (same network namespace, same drives).
// `masterModeWindowRect` (left, top, right, bottom): the viewer window's
// bounds instead of the default middle of the screen. `policy`: a host's
// view-only mode and white list.
struct HostPolicy {
    bool AllowOnlyViewing = false;
    std::optional<std::vector<std::string>> WhiteList;  // set: enabled, with these IDs
};
void WriteProgramSettings(const std::filesystem::path& home, const std::string& deviceId,
                          const std::string& staticPassword = {},
                          std::optional<std::array<int, 4>> masterModeWindowRect = std::nullopt,
                          const HostPolicy& policy = {});

// The environment of a copy: its own program folder and runtime folder under
// `folder`, the signalling server on loopback, no public STUN servers, the
// first-run welcome accepted, message boxes answered with `answer` and logged
// to folder/messages.log, no system bus (DBUS_SYSTEM_BUS_ADDRESS names a
// socket that does not exist). `display` empty: offscreen.
std::map<std::string, std::string> ProgramEnvironment(const std::filesystem::path& folder, int signallingPort,
                                                      const std::string& display = {},
                                                      const std::string& answer = "ok");

// True when a copy is joined to the signalling server at `port` under
// `deviceId`: the server delivers a message to that ID instead of answering
// "invalid_id". `caFile` is the root the probe trusts.
// `answerWait` is how long silence must last to count as delivered.
bool ProgramJoined(int port, const std::string& deviceId, const std::string& caFile,
                   std::chrono::milliseconds answerWait = std::chrono::milliseconds(1500));

// The command line of a crsignal on loopback with the development PKI's
// certificate `chain` and `key` ("0": a free port it reports).
std::vector<std::string> SignalServerArguments(const std::string& port = "0", const std::string& chain = "server.pem",
                                               const std::string& key = "server.key");

// The command line of a copy started as the desktop starts it (a host), and
// the start of one that asks at once to connect to `hostId` with `password`
// (a viewer): the ID on its command line, the password in its environment.
std::vector<std::string> HostCommand();
Command ViewerCommand(const std::string& hostId, const std::string& password);

// The lines the copy's message boxes wrote ("Kind<TAB>text").
std::string MessageLog(const std::filesystem::path& folder);

// A stand-in "xdg-open" in `folder` that appends its arguments to `log`
// instead of showing anything: put `folder` first on the copy's PATH.
void WriteOpenRecorder(const std::filesystem::path& folder, const std::filesystem::path& log);

// The middle of the OK button of the program's file and folder choosers
// shown in `box` (left of Cancel in the bottom panel), in screen coordinates.
std::pair<int, int> ChooserOkButton(const WindowBox& box);

}  // namespace corvala::e2e
