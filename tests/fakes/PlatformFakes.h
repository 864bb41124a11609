#pragma once
// Fakes of the platform interfaces for unit tests: they record what the
// logic asked for and answer what the test set up.

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/StartupMessages.h"
#include "platform/DriveIdentification.h"
#include "platform/Firewall.h"
#include "platform/InstanceChannel.h"
#include "platform/NetworkAdapters.h"
#include "platform/SecureAttention.h"
#include "platform/Shell.h"
#include "platform/SingleInstance.h"

namespace corvala::fakes {

struct ShellCall {
    std::string verb, file, parameters;
    bool operator==(const ShellCall&) const = default;
};

class FakeShell : public platform::IShell {
public:
    int runasResult = platform::ShellAccessDenied;  // elevation refused unless a test says otherwise
    int openResult = platform::ShellSuccess;
    std::vector<ShellCall> calls;
    int Execute(const std::string& verb, const std::string& file, const std::string& parameters) override {
        calls.push_back({verb, file, parameters});
        return verb == "runas" ? runasResult : openResult;
    }
};

class FakeSingleInstance : public platform::ISingleInstanceLock {
public:
    bool existed = false;
    int creations = 0;
    bool CreateAndTestExisting() override {
        ++creations;
        return existed;
    }
};

class FakeInstanceChannel : public platform::IInstanceChannel {
public:
    bool windowExists = false;
    std::vector<platform::InstanceMessage> sent;
    bool SendToRunningWindow(const platform::InstanceMessage& message) override {
        if (!windowExists) return false;
        sent.push_back(message);
        return true;
    }
};

class FakeNetworkAdapters : public platform::INetworkAdapters {
public:
    std::vector<platform::NetworkAdapter> adapters;
    bool fail = false;
    std::vector<platform::NetworkAdapter> List() override {
        if (fail) throw std::runtime_error("adapter list unavailable");
        return adapters;
    }
};

class FakeDrives : public platform::IDriveIdentification {
public:
    std::vector<platform::IdentifyWords> withRights, passThrough;
    std::vector<platform::StorageDescriptor> descriptors;
    bool throwEverywhere = false;
    std::vector<platform::IdentifyWords> IdentifyWithRights() override { return Answer(withRights); }
    std::vector<platform::IdentifyWords> IdentifyThroughPassThrough() override { return Answer(passThrough); }
    std::vector<platform::StorageDescriptor> StorageDescriptors() override {
        if (throwEverywhere) throw std::runtime_error("drive answered garbage");
        return descriptors;
    }

private:
    std::vector<platform::IdentifyWords> Answer(const std::vector<platform::IdentifyWords>& words) {
        if (throwEverywhere) throw std::runtime_error("drive answered garbage");
        return words;
    }
};

class FakeSecureAttention : public platform::ISecureAttention {
public:
    int presses = 0;
    bool Press() override {
        ++presses;
        return true;
    }
};

class FakeFirewall : public platform::IFirewall {
public:
    std::vector<std::pair<std::string, std::string>> rules;
    void AddProgramRules(const std::string& name, const std::string& program) override {
        rules.emplace_back(name, program);
    }
};

class RecordingMessages : public IStartupMessages {
public:
    std::vector<std::string> warnings, errors;
    void Warning(const std::string& text) override { warnings.push_back(text); }
    void Error(const std::string& text) override { errors.push_back(text); }
};

// IDENTIFY words with the serial and model texts placed as a drive does.
inline platform::IdentifyWords MakeIdentifyWords(const std::string& serial, const std::string& model) {
    platform::IdentifyWords words{};
    auto place = [&](std::string text, int first, int last) {
        text.resize(static_cast<std::size_t>(last - first + 1) * 2, ' ');
        for (int w = first; w <= last; ++w) {
            auto i = static_cast<std::size_t>(w - first) * 2;
            words[static_cast<std::size_t>(w)] =
                static_cast<std::uint16_t>((static_cast<unsigned char>(text[i]) << 8) | static_cast<unsigned char>(text[i + 1]));
        }
    };
    place(serial, 10, 19);
    place(model, 27, 46);
    return words;
}

}  // namespace corvala::fakes
