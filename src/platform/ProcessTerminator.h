#pragma once
// Ending processes by the name of the program they run, as the self-update
// ends the relay before the program folder's files are replaced.

#include <filesystem>
#include <string>

namespace corvala::platform {

class IProcessTerminator {
public:
    virtual ~IProcessTerminator() = default;
    // Asks every process of this user whose program file lies in `folder`
    // and whose name begins with `prefix` (compared without regard to case)
    // to end; how many were asked. The calling process itself is left alone,
    // and so are programs of the same name installed elsewhere.
    virtual int TerminateProcessesNamed(const std::string& prefix, const std::filesystem::path& folder) = 0;
};

}  // namespace corvala::platform
