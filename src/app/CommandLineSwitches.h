#pragma once
// The switches a copy of the program is started with.

#include <string>
#include <vector>

namespace corvala {

struct CommandLineSwitches {
    bool sendsas = false;
    bool fromService = false;
    bool fromApplication = false;

    // Recognised anywhere on the command line, introduced by "-" or "/",
    // compared without regard to case. Unknown arguments are left alone.
    static CommandLineSwitches Parse(const std::vector<std::string>& arguments);
};

}  // namespace corvala
