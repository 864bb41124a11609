#pragma once
// The start-up routine every run of `cr` goes through before any window
// exists: it decides the role of this process, prepares the program folder
// (payload, root certificate, branding) and computes the machine's identity.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLineSwitches.h"
#include "base/ProcessState.h"
#include "app/StartupMessages.h"
#include "platform/DriveIdentification.h"
#include "platform/Firewall.h"
#include "platform/Folders.h"
#include "platform/InstanceChannel.h"
#include "platform/NetworkAdapters.h"
#include "platform/SecureAttention.h"
#include "platform/Shell.h"
#include "platform/SingleInstance.h"

namespace corvala {

// What the operating system provides to start-up.
struct StartupPlatform {
    platform::IShell& shell;
    platform::ISingleInstanceLock& instanceLock;
    platform::IInstanceChannel& instanceChannel;
    platform::INetworkAdapters& adapters;
    platform::IDriveIdentification& drives;
    platform::ISecureAttention& secureAttention;
    platform::IFirewall& firewall;
    IStartupMessages& messages;
    std::function<void(std::chrono::milliseconds)> sleep;
    // Creates and starts the host capture thread (right after the
    // single-instance check); whatever it throws is ignored.
    std::function<void()> startCaptureThread = {};
    // Puts the `cr --connect` password where the copy the launcher starts
    // next finds it: that copy's environment, never its command line.
    std::function<void(const std::string& password)> passConnectPassword = {};
};

// What this particular run starts from.
struct StartupInputs {
    std::vector<std::string> arguments;
    platform::ProgramFolders folders;
    std::filesystem::path runningExecutable;
    int ownVersion = 0;
    std::string_view payload;          // the ZIP of companion programs
    std::string_view rootCertificate;  // PEM
    std::string supportContact;
    std::string webSiteAddress;
    // `cr --connect`: the encoded request (password included) for a running
    // copy, which gets it through its instance channel only; the arguments
    // that pass the ID on to the copy the launcher starts, and the password
    // that copy gets through passConnectPassword.
    std::string connectRequest;
    std::string connectArguments;
    std::string connectPassword;
};

enum class StartupOutcome { End, RunMessageLoop };

struct StartupResult {
    StartupOutcome outcome = StartupOutcome::End;
    CommandLineSwitches switches;
    std::string macAddressText;       // hyphenated when it has 12 digits
    std::string machineFingerprint;
    // No other copy held the single-instance lock: this copy owns what only
    // one copy may own (the instance channel's socket).
    bool ownsInstanceLock = false;
};

// Installed versions up to this one cannot take over an update by themselves.
inline constexpr int LastVersionWithoutSelfUpdate = 26;

class StartupSequence {
public:
    StartupSequence(StartupPlatform platform, StartupInputs inputs, ProcessState& state = processState());

    // Runs the steps up to (not including) the creation of the windows.
    StartupResult Run();

private:
    bool EndsForRunningInstance();
    bool ComputeIdentity();
    bool PrepareFolders();
    void RemoveLeftoverUpdate();
    bool ReplaceOlderProgram();
    void WriteRootCertificate();
    void InstallPayloadIfIncomplete();
    bool CopyBranding();
    bool CheckPresence();
    bool DispatchRole();
    void ApplyBranding();

    std::filesystem::path InFolder(const char* name) const;
    std::string RunningName() const;
    std::string Format(const char* text) const;

    StartupPlatform platform_;
    StartupInputs inputs_;
    ProcessState& state_;
    StartupResult result_;
};

}  // namespace corvala
