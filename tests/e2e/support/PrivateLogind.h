#pragma once
// A D-Bus bus of the test's own, with the fake logind on it: a program
// pointed at it through DBUS_SYSTEM_BUS_ADDRESS sees one active session that
// the test locks and unlocks. Nothing touches the machine's system bus.

#include <filesystem>
#include <memory>
#include <string>

#include "E2eSupport.h"

namespace corvala::e2e {

class PrivateLogind {
public:
    // Starts dbus-daemon and the fake logind with their files in `folder`;
    // `locked`: the session starts locked (nobody logged on yet).
    explicit PrivateLogind(const std::filesystem::path& folder, bool locked = false);
    ~PrivateLogind();

    // True once the fake serves the session (waits up to 20 s).
    bool Ready();
    // DBUS_SYSTEM_BUS_ADDRESS for the programs under test.
    const std::string& BusAddress() const { return address_; }
    // Asks the session to lock or unlock, as a screen locker or
    // `loginctl lock-session` would; true when the fake answered.
    bool Lock();
    bool Unlock();
    std::string Log() const;

private:
    bool Call(const char* method);

    std::filesystem::path folder_;
    std::string address_;
    std::unique_ptr<ChildProcess> daemon_;
    std::unique_ptr<ChildProcess> logind_;
};

}  // namespace corvala::e2e
