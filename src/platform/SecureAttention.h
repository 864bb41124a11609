#pragma once
// The secure attention sequence (Ctrl+Alt+Del) pressed on the local desktop.

namespace corvala::platform {

class ISecureAttention {
public:
    virtual ~ISecureAttention() = default;
    // Returns false when the sequence cannot be pressed here.
    virtual bool Press() = 0;
};

}  // namespace corvala::platform
