#pragma once
// The process-wide single-instance marker shared by every running copy.

namespace corvala::platform {

class ISingleInstanceLock {
public:
    virtual ~ISingleInstanceLock() = default;
    // Creates the marker and holds it for the life of the process.
    // Returns true when it already existed (another copy holds it).
    virtual bool CreateAndTestExisting() = 0;
};

}  // namespace corvala::platform
