#include "app/CommandLineSwitches.h"

#include <algorithm>
#include <cctype>

namespace corvala {

CommandLineSwitches CommandLineSwitches::Parse(const std::vector<std::string>& arguments) {
    CommandLineSwitches switches;
    for (const auto& argument : arguments) {
        if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) continue;
        std::string name = argument.substr(1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name == "sendsas") switches.sendsas = true;
        else if (name == "from_service") switches.fromService = true;
        else if (name == "from_application") switches.fromApplication = true;
    }
    return switches;
}

}  // namespace corvala
