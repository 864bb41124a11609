#include "identity/DeviceIdentity.h"

#include "identity/DriveText.h"
#include "identity/FingerprintTables.h"

namespace corvala::identity {

std::string ComputeMacAddressText(platform::INetworkAdapters& adapters) {
    static const char hex[] = "0123456789ABCDEF";
    try {
        for (const auto& adapter : adapters.List()) {
            if (adapter.hardwareAddress.empty()) continue;
            std::string text;
            for (std::uint8_t byte : adapter.hardwareAddress) {
                text += hex[byte >> 4];
                text += hex[byte & 0x0F];
            }
            return text;
        }
    } catch (...) {
    }
    return {};
}

std::string HyphenateMacAddressText(const std::string& macText) {
    if (macText.size() != 12) return macText;
    std::string text;
    for (std::size_t i = 0; i < 12; i += 2) {
        if (i) text += '-';
        text += macText.substr(i, 2);
    }
    return text;
}

std::string MacFingerprint(const std::string& macText) {
    if (macText.size() < 12) throw IdentityError(InvalidUniqueIdMessage);
    std::string fingerprint;
    for (std::size_t i = 0; i < 12; ++i) {
        std::size_t p = FingerprintAlphabet.find(macText[i]);
        if (p == std::string_view::npos) throw IdentityError(InvalidUniqueIdMessage);
        fingerprint += FingerprintTables[i][p];
    }
    return fingerprint;
}

std::string ComputeMachineFingerprint(platform::IDriveIdentification& drives,
                                      const std::string& macText) {
    if (auto diskId = FindDiskIdNumber(drives)) return *diskId;
    return MacFingerprint(macText);
}

}  // namespace corvala::identity
