#pragma once
// Starting programs and documents the way a desktop shell does.

#include <string>

namespace corvala::platform {

class IShell {
public:
    virtual ~IShell() = default;
    // Starts `file` with `parameters` (one string, split like a command line).
    // verb "open": start normally without waiting; "runas": start elevated.
    // Returns a shell result: above 32 on success, 32 or lower on failure
    // (file missing, elevation refused or unavailable).
    virtual int Execute(const std::string& verb, const std::string& file,
                        const std::string& parameters) = 0;
};

// Shell results used by the implementations (the classic small values).
inline constexpr int ShellFileNotFound = 2;
inline constexpr int ShellAccessDenied = 5;
inline constexpr int ShellSuccess = 42;
inline bool ShellSucceeded(int result) { return result > 32; }

}  // namespace corvala::platform
