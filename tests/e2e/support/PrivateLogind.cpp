#include "PrivateLogind.h"

#include <fstream>

namespace corvala::e2e {

namespace fs = std::filesystem;

namespace {
// Everyone on this bus is the test's own user: everything is allowed.
constexpr const char* BusConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>custom</type>
  <listen>unix:path=@SOCKET@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";
}  // namespace

PrivateLogind::PrivateLogind(const fs::path& folder, bool locked) : folder_(folder) {
    fs::create_directories(folder_);
    const fs::path socket = folder_ / "bus";
    std::string config = BusConfig;
    config.replace(config.find("@SOCKET@"), 8, socket.string());
    std::ofstream(folder_ / "bus.conf") << config;
    address_ = "unix:path=" + socket.string();
    daemon_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"dbus-daemon", "--config-file=" + (folder_ / "bus.conf").string(), "--nofork",
                                 "--nopidfile"},
        std::map<std::string, std::string>{}, folder_ / "dbus-daemon.log");
    WaitFor([&] { return fs::exists(socket); }, 20s);
    std::vector<std::string> logind = {(BinFolder() / "corvala_fake_logind").string()};
    if (locked) logind.push_back("--locked");
    logind_ = std::make_unique<ChildProcess>(
        logind,
        std::map<std::string, std::string>{{"DBUS_SYSTEM_BUS_ADDRESS", address_}, {"QT_QPA_PLATFORM", "offscreen"}},
        folder_ / "logind.log");
}

PrivateLogind::~PrivateLogind() {
    logind_.reset();
    daemon_.reset();
}

bool PrivateLogind::Ready() {
    return WaitFor([&] { return logind_->Log().find("ready") != std::string::npos || !logind_->Running(); }, 20s) &&
           logind_->Running();
}

bool PrivateLogind::Call(const char* method) {
    const CommandResult result = RunCommand(
        "dbus-send --bus='" + address_ +
        "' --print-reply --dest=org.freedesktop.login1 /org/freedesktop/login1/session/_31 "
        "org.freedesktop.login1.Session." + method + " 2>&1");
    return result.exitCode == 0;
}

bool PrivateLogind::Lock() { return Call("Lock"); }
bool PrivateLogind::Unlock() { return Call("Unlock"); }

std::string PrivateLogind::Log() const { return logind_->Log() + daemon_->Log(); }

}  // namespace corvala::e2e
