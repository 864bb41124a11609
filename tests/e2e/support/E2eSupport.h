#pragma once
// Shared helpers for the multi-process tests: the loopback-only network
// namespace, Xvfb displays, child processes and waiting on conditions.
// Every end-to-end test links this library and uses its main().

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvala::e2e {

using namespace std::chrono_literals;

// Polls `condition` every 50 ms until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// A fresh folder under the system's temporary folder, removed on destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& child) const { return path_ / child; }

private:
    std::filesystem::path path_;
};

// What a program is started with besides the environment of its test: its
// command line, variables of its own and what it reads on standard input. A
// secret goes in the last two, never on a command line, which every local
// user reads in the process list.
struct Command {
    std::vector<std::string> Arguments;
    std::map<std::string, std::string> Environment;
    std::string Input;  // standard input; empty: /dev/null
};

// A program started with extra environment variables; its output goes to a
// log file. Ended (SIGTERM, then SIGKILL) on destruction.
class ChildProcess {
public:
    ChildProcess(Command command, std::map<std::string, std::string> environment, std::filesystem::path logFile,
                 std::filesystem::path workingFolder = {});
    ChildProcess(std::vector<std::string> argv, std::map<std::string, std::string> environment,
                 std::filesystem::path logFile, std::filesystem::path workingFolder = {})
        : ChildProcess(Command{std::move(argv), {}, {}}, std::move(environment), std::move(logFile),
                       std::move(workingFolder)) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // One of the process's files in /proc ("cmdline", "environ"), as every
    // process of the same user (or, for "cmdline", anyone) can read it.
    std::string ProcFile(const std::string& name) const;
    bool Running();
    // Waits for the process to end; its exit code, or -1 on a signal or time-out.
    int Wait(std::chrono::milliseconds timeout);
    void Terminate();
    std::string Log() const;

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool ended_ = false;
    std::filesystem::path logFile_;
};

// An Xvfb display of its own, on a display number the server picks.
class XvfbDisplay {
public:
    explicit XvfbDisplay(int width = 1280, int height = 800);
    ~XvfbDisplay();
    const std::string& name() const { return name_; }  // ":N"

private:
    pid_t pid_ = -1;
    std::string name_;
};

// Paints the root window of `display` in four quadrants of the given colours
// (0xRRGGBB: top left, top right, bottom left, bottom right), like a
// wallpaper: windows on top of it stay as they are.
bool PaintRootQuadrants(const std::string& display, const unsigned long colours[4]);

// The colour (0xRRGGBB) of one pixel of `display`'s screen; nothing when
// the display cannot be read.
std::optional<unsigned long> ScreenPixel(const std::string& display, int x, int y);

// The colours (0xRRGGBB) of `width` pixels of one row of `display`'s
// screen from (x, y); empty when the display cannot be read.
std::vector<unsigned long> ScreenRow(const std::string& display, int x, int y, int width);

// The position and size of the first visible top-level window titled
// exactly `title` on `display`; nothing when there is none.
struct WindowBox {
    int x = 0, y = 0, width = 0, height = 0;
};
std::optional<WindowBox> WindowGeometry(const std::string& display, const std::string& title);

// How many pixels of `display`'s screen lie within `tolerance` (per channel)
// of each of the given colours (0xRRGGBB); empty when the display cannot be
// read. Video coding shifts colours a little: a picture is recognised by
// many pixels near its colours, not by exact values.
std::vector<int> ScreenColourCounts(const std::string& display, const std::vector<unsigned long>& colours,
                                    int tolerance = 48);

// Mapped top-level windows of `display` that lie exactly over the rectangle
// from (0, 0) of the given size.
int MappedWindowsCovering(const std::string& display, int width, int height);

// Runs a shell command line; its standard output (trimmed) and exit code.
struct CommandResult {
    int exitCode;
    std::string output;
};
CommandResult RunCommand(const std::string& commandLine);

// The command lines of running processes whose executable lies under `folder`.
std::vector<std::string> ProcessesRunningFrom(const std::filesystem::path& folder);
// Ends every process whose executable lies under `folder`.
void KillProcessesRunningFrom(const std::filesystem::path& folder);

// Visible top-level windows titled exactly `title` on `display`.
int VisibleWindowCount(const std::string& display, const std::string& title);

// Runs of pixels on one screen row that differ from `background` (by more
// than a few steps per channel), separated by more than `gap` background
// pixels: the texts and glyphs on a caption. Indices into `row`, within
// [from, to).
std::vector<std::pair<int, int>> PixelClusters(const std::vector<unsigned long>& row, int from, int to,
                                               unsigned long background, int gap);

// How often `part` occurs in `text` (overlapping occurrences count).
int CountOccurrences(const std::string& text, const std::string& part);

// A file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// Where the build put the programs (CORVALA_BIN_DIR).
std::filesystem::path BinFolder();

}  // namespace corvala::e2e
