#pragma once
// Processes found in /proc by the file their executable link names, ended
// with SIGTERM.

#include "platform/ProcessTerminator.h"

namespace corvala::platform::linuxos {

class LinuxProcessTerminator final : public IProcessTerminator {
public:
    int TerminateProcessesNamed(const std::string& prefix, const std::filesystem::path& folder) override;
};

}  // namespace corvala::platform::linuxos
