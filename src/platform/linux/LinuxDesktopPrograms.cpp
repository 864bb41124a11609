#include "platform/linux/LinuxDesktopPrograms.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <strings.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/linux/LinuxShell.h"
#include "xshm/XErrorTrap.h"

namespace corvala::platform::linuxos {

namespace fs = std::filesystem;

namespace {

bool ClassNames(Display* display, Window window, const std::string& program) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) return false;
    const bool match = (hint.res_name && ::strcasecmp(hint.res_name, program.c_str()) == 0) ||
                       (hint.res_class && ::strcasecmp(hint.res_class, program.c_str()) == 0);
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return match;
}

// Top-level windows and, under a window manager's frames, their clients.
int IconifyMatching(Display* display, Window parent, const std::string& program, int depth) {
    Window root = 0, parentOut = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return 0;
    int found = 0;
    for (unsigned int i = 0; i < count; ++i) {
        if (ClassNames(display, children[i], program)) {
            XIconifyWindow(display, children[i], DefaultScreen(display));
            ++found;
        } else if (depth > 0) {
            found += IconifyMatching(display, children[i], program, depth - 1);
        }
    }
    if (children) XFree(children);
    return found;
}

}  // namespace

std::string LinuxDesktopPrograms::FindOnPath(const std::string& program) const { return linuxos::FindOnPath(program); }

std::vector<std::string> LinuxDesktopPrograms::RunningProgramNames() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string first;
        std::getline(in, first, '\0');
        if (!first.empty()) names.push_back(fs::path(first).filename().string());
    }
    return names;
}

int LinuxDesktopPrograms::Start(const std::string& path) { return SpawnDetachedProcess({path}); }

void LinuxDesktopPrograms::Terminate(int processId) {
    if (processId > 0) ::kill(processId, SIGTERM);
}

bool LinuxDesktopPrograms::MinimiseWindowsOf(const std::string& program) {
    // A window may go while it is looked at: that error must not end the process.
    Display* display = xshm::openDisplay();
    if (!display) return false;
    const int found = IconifyMatching(display, DefaultRootWindow(display), program, 1);
    XSync(display, False);
    xshm::closeDisplay(display);
    return found > 0;
}

}  // namespace corvala::platform::linuxos
