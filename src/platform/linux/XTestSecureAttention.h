#pragma once
#include "platform/SecureAttention.h"

namespace corvala::platform::linuxos {

// Presses Ctrl+Alt+Delete on the X display through XTest.
class XTestSecureAttention : public ISecureAttention {
public:
    bool Press() override;
};

}  // namespace corvala::platform::linuxos
