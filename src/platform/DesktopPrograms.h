#pragma once
// The desktop's own programs as the host commands use them: found on PATH,
// seen among the running processes, started, ended, and their windows
// minimised.

#include <string>
#include <vector>

namespace corvala::platform {

class IDesktopPrograms {
public:
    virtual ~IDesktopPrograms() = default;
    // The full path of the executable `program` on PATH; empty when none.
    virtual std::string FindOnPath(const std::string& program) const = 0;
    // The file names of the programs the running processes were started as.
    virtual std::vector<std::string> RunningProgramNames() const = 0;
    // Starts `path` detached, without arguments; its process id, or -1.
    virtual int Start(const std::string& path) = 0;
    // Ends a process this program started.
    virtual void Terminate(int processId) = 0;
    // Minimises the top-level windows whose class names `program`; false
    // when it has none (yet).
    virtual bool MinimiseWindowsOf(const std::string& program) = 0;
};

}  // namespace corvala::platform
