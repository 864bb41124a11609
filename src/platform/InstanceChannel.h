#pragma once
// Messages from one copy of the program to the running copy's main window.

#include <cstdint>
#include <optional>
#include <string>

namespace corvala::platform {

struct InstanceMessage {
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    std::string payload;  // bytes that travel with the message, if any
    // The user the sending process runs as, when the channel can tell.
    std::optional<std::uint32_t> senderUid = std::nullopt;
};

// Asks the running instance's main window to show itself.
inline const InstanceMessage ShowWindowMessage{0xAAAB, 1111, 2222, {}};
// Asks the running instance to send the printed document.
inline constexpr std::uint32_t PrintJobMessage = 0xAAAA;
// Asks the running instance to connect out (`cr --connect`); the payload is
// the encoded request.
inline constexpr std::uint32_t ConnectRequestMessage = 0xAAAC;

class IInstanceChannel {
public:
    virtual ~IInstanceChannel() = default;
    // Delivers the message to the running instance's main window. Returns
    // false when no such window exists.
    virtual bool SendToRunningWindow(const InstanceMessage& message) = 0;
};

}  // namespace corvala::platform
