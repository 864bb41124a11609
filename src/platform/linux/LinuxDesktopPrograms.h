#pragma once
#include "platform/DesktopPrograms.h"

namespace corvala::platform::linuxos {

// PATH for finding, /proc for the running programs (the file name of each
// process's first argument), posix_spawn for starting, SIGTERM for ending,
// and the X display's window classes for minimising.
class LinuxDesktopPrograms : public IDesktopPrograms {
public:
    std::string FindOnPath(const std::string& program) const override;
    std::vector<std::string> RunningProgramNames() const override;
    int Start(const std::string& path) override;
    void Terminate(int processId) override;
    bool MinimiseWindowsOf(const std::string& program) override;
};

}  // namespace corvala::platform::linuxos
