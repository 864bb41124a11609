#pragma once
// Who this machine is: the MAC text peers use for Wake-on-LAN, the machine
// fingerprint that binds the settings file to this machine, the device ID,
// and the random credentials.

#include <stdexcept>
#include <string>

#include "platform/DriveIdentification.h"
#include "platform/NetworkAdapters.h"

namespace corvala::identity {

// Raised when the machine has neither a disk serial nor a full MAC address.
class IdentityError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* InvalidUniqueIdMessage = "Invalid format of unique ID.";

// Upper-case hexadecimal of the first adapter that has an address, without
// separators; empty when there is none or the list cannot be read.
std::string ComputeMacAddressText(platform::INetworkAdapters& adapters);

// 0A1B2C3D4E5F becomes 0A-1B-2C-3D-4E-5F; any other length stays as it is.
std::string HyphenateMacAddressText(const std::string& macText);

// 12 characters from the fingerprint tables for the first 12 MAC digits.
// Throws IdentityError for a MAC text shorter than 12 characters.
std::string MacFingerprint(const std::string& macText);

// The disk ID when a disk serial is found, otherwise the MAC fingerprint.
std::string ComputeMachineFingerprint(platform::IDriveIdentification& drives,
                                      const std::string& macText);

}  // namespace corvala::identity
