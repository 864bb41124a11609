#include "E2eSupport.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace corvala::e2e {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
}

ScratchFolder::ScratchFolder(const std::string& name) {
    path_ = fs::temp_directory_path() / ("corvala-e2e-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ChildProcess::ChildProcess(Command command, std::map<std::string, std::string> environment, fs::path logFile,
                           fs::path workingFolder)
    : logFile_(std::move(logFile)) {
    for (auto& [key, value] : command.Environment) environment[key] = value;
    int input[2] = {-1, -1};
    if (!command.Input.empty() && ::pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::setpgid(0, 0);
        for (const auto& [key, value] : environment) ::setenv(key.c_str(), value.c_str(), 1);
        int log = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        int in = input[0] >= 0 ? input[0] : ::open("/dev/null", O_RDONLY);
        if (in >= 0) ::dup2(in, 0);
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) ::_exit(126);
        std::vector<char*> args;
        for (auto& a : command.Arguments) args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (input[0] < 0) return;
    ::close(input[0]);
    // A pipe holds far more than a line; the child reads it when it wants.
    [[maybe_unused]] auto written = ::write(input[1], command.Input.data(), command.Input.size());
    ::close(input[1]);
}

std::string ChildProcess::ProcFile(const std::string& name) const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ChildProcess::~ChildProcess() { Terminate(); }

bool ChildProcess::Running() {
    if (ended_) return false;
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        ended_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return !ended_;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    WaitFor([this] { return !Running(); }, timeout);
    return ended_ ? exitCode_ : -1;
}

void ChildProcess::Terminate() {
    if (pid_ <= 0 || !Running()) return;
    ::kill(-pid_, SIGTERM);
    ::kill(pid_, SIGTERM);
    if (Wait(5s) < 0 && Running()) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        Wait(5s);
    }
}

std::string ChildProcess::Log() const {
    std::ifstream in(logFile_);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

XvfbDisplay::XvfbDisplay(int width, int height) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(fds[0]);
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::string fd = std::to_string(fds[1]);
        std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                 "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not start");
    name_ = ":" + number;
}

XvfbDisplay::~XvfbDisplay() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status;
        ::waitpid(pid_, &status, 0);
    }
}

bool PaintRootQuadrants(const std::string& displayName, const unsigned long colours[4]) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return false;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    Pixmap pixmap = XCreatePixmap(display, root, unsigned(width), unsigned(height),
                                  unsigned(DefaultDepth(display, screen)));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    for (int q = 0; q < 4; ++q) {
        XSetForeground(display, gc, colours[q]);
        XFillRectangle(display, pixmap, gc, (q % 2) * width / 2, (q / 2) * height / 2, unsigned(width / 2),
                       unsigned(height / 2));
    }
    XSetWindowBackgroundPixmap(display, root, pixmap);
    XClearWindow(display, root);
    XFreeGC(display, gc);
    XFreePixmap(display, pixmap);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

std::optional<unsigned long> ScreenPixel(const std::string& displayName, int x, int y) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return std::nullopt;
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    std::optional<unsigned long> pixel;
    if (image) {
        pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return pixel;
}

std::vector<int> ScreenColourCounts(const std::string& displayName, const std::vector<unsigned long>& colours,
                                    int tolerance) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return {};
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    XImage* image = XGetImage(display, RootWindow(display, screen), 0, 0, unsigned(width), unsigned(height), AllPlanes,
                              ZPixmap);
    std::vector<int> counts;
    if (image) {
        counts.assign(colours.size(), 0);
        const auto near = [tolerance](unsigned long a, unsigned long b) {
            for (int shift : {16, 8, 0})
                if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) >= tolerance) return false;
            return true;
        };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y) & 0xFFFFFF;
                for (std::size_t c = 0; c < colours.size(); ++c)
                    if (near(pixel, colours[c])) ++counts[c];
            }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return counts;
}

int MappedWindowsCovering(const std::string& displayName, int width, int height) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return 0;
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    int covering = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable && a.x == 0 && a.y == 0 &&
                a.width == width && a.height == height)
                ++covering;
        }
        if (children) XFree(children);
    }
    XCloseDisplay(display);
    return covering;
}

CommandResult RunCommand(const std::string& commandLine) {
    CommandResult result{-1, {}};
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) result.output.append(buffer.data(), n);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!result.output.empty() && (result.output.back() == '\n' || result.output.back() == ' '))
        result.output.pop_back();
    return result;
}

std::vector<std::string> ProcessesRunningFrom(const fs::path& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    const std::string prefix = fs::weakly_canonical(folder, ec).string() + "/";
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
        if (ec || exe.string().rfind(prefix, 0) != 0) continue;
        std::ifstream cmdline(entry.path() / "cmdline");
        std::string text((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        for (char& ch : text)
            if (ch == '\0') ch = ' ';
        found.push_back(entry.path().filename().string() + " " + text);
    }
    return found;
}

void KillProcessesRunningFrom(const fs::path& folder) {
    for (int round = 0; round < 2; ++round) {
        for (const auto& line : ProcessesRunningFrom(folder)) {
            pid_t pid = std::atoi(line.c_str());
            if (pid > 0) ::kill(pid, round == 0 ? SIGTERM : SIGKILL);
        }
        WaitFor([&] { return ProcessesRunningFrom(folder).empty(); }, 3s);
    }
}

std::vector<unsigned long> ScreenRow(const std::string& displayName, int x, int y, int width) {
    std::vector<unsigned long> row;
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return row;
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, width, 1, AllPlanes, ZPixmap);
    if (image) {
        for (int i = 0; i < width; ++i) row.push_back(XGetPixel(image, i, 0) & 0xFFFFFF);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return row;
}

std::optional<WindowBox> WindowGeometry(const std::string& display, const std::string& title) {
    // xdotool prints X=, Y=, WIDTH=, HEIGHT= lines with --shell.
    const auto result = RunCommand("DISPLAY=" + display + " xdotool search --onlyvisible --name '^" + title +
                                   "$' getwindowgeometry --shell 2>/dev/null | head -6");
    WindowBox box;
    int found = 0;
    std::size_t at = 0;
    while (at < result.output.size()) {
        std::size_t end = result.output.find('\n', at);
        if (end == std::string::npos) end = result.output.size();
        const std::string line = result.output.substr(at, end - at);
        at = end + 1;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X") box.x = value, ++found;
        else if (key == "Y") box.y = value, ++found;
        else if (key == "WIDTH") box.width = value, ++found;
        else if (key == "HEIGHT") box.height = value, ++found;
    }
    if (found < 4) return std::nullopt;
    return box;
}

int VisibleWindowCount(const std::string& display, const std::string& title) {
    auto result = RunCommand("DISPLAY=" + display + " xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
    if (result.output.empty()) return 0;
    int lines = 1;
    for (char c : result.output) lines += c == '\n';
    return lines;
}

fs::path BinFolder() {
    const char* bin = std::getenv("CORVALA_BIN_DIR");
    return bin ? fs::path(bin) : fs::current_path();
}

std::vector<std::pair<int, int>> PixelClusters(const std::vector<unsigned long>& row, int from, int to,
                                               unsigned long background, int gap) {
    const auto nearBackground = [background](unsigned long rgb) {
        for (int shift : {16, 8, 0})
            if (std::abs(int((rgb >> shift) & 0xFF) - int((background >> shift) & 0xFF)) > 8) return false;
        return true;
    };
    std::vector<std::pair<int, int>> clusters;
    int start = -1, last = -1;
    for (int x = from; x < to && x < int(row.size()); ++x) {
        if (nearBackground(row[x])) continue;
        if (start >= 0 && x - last > gap) {
            clusters.emplace_back(start, last);
            start = -1;
        }
        if (start < 0) start = x;
        last = x;
    }
    if (start >= 0) clusters.emplace_back(start, last);
    return clusters;
}

int CountOccurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace corvala::e2e
