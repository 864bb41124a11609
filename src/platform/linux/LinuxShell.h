#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/Shell.h"

namespace corvala::platform::linuxos {

// "open": executables are started directly, anything else through xdg-open;
// neither is waited for. "runas": the program runs through pkexec, which is
// waited for so that a refusal (or pkexec missing) becomes a failure result.
class LinuxShell : public IShell {
public:
    int Execute(const std::string& verb, const std::string& file,
                const std::string& parameters) override;
};

// Splits a parameter string like a command line: white space separates,
// double quotes group.
std::vector<std::string> SplitParameters(const std::string& parameters);

// Starts argv[0] with the arguments, detached; true when it started.
bool SpawnDetached(const std::vector<std::string>& argv);
// The same, answering the process id (-1 when it did not start).
pid_t SpawnDetachedProcess(const std::vector<std::string>& argv);

// Starts argv[0] and waits for it; the exit status, or -1 when it did not start.
int SpawnAndWait(const std::vector<std::string>& argv);

// The full path of a program found on PATH, or empty.
std::string FindOnPath(const std::string& program);

}  // namespace corvala::platform::linuxos
