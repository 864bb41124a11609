#pragma once
#include <filesystem>

#include "platform/SingleInstance.h"

namespace corvala::platform::linuxos {

// The marker is a lock file "corvalamutex" in the runtime folder. Every copy
// holds a shared lock on it for its whole life; a copy that cannot take the
// exclusive lock first knows another one runs. The descriptor is not inherited
// by child processes, so a launcher's marker ends with the launcher.
class FlockSingleInstance : public ISingleInstanceLock {
public:
    explicit FlockSingleInstance(std::filesystem::path lockFile);
    ~FlockSingleInstance() override;
    bool CreateAndTestExisting() override;

private:
    std::filesystem::path lockFile_;
    int fd_ = -1;
};

}  // namespace corvala::platform::linuxos
