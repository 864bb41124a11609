#pragma once
// Runs one of our server executables for a test: started with a free port of
// its own choosing ("--port 0"), which it reports on its first stdout line,
// and stopped (SIGTERM, then SIGKILL) when the object goes away.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace corvala::testing {

class ServerProcess {
public:
    // `program` is a file name in CORVALA_BIN_DIR. Waits until the server
    // reports its port; port() is 0 when it did not (it failed to start).
    ServerProcess(const std::string& program, std::vector<std::string> args);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }
    // True while the process has not exited.
    bool running();
    // Sends SIGTERM and waits up to `limit` for the end: its exit status, or
    // -1 when it did not end by itself (it is then killed).
    int terminate(std::chrono::milliseconds limit);
    // Resident memory in KiB from /proc, 0 when unknown.
    long residentKiB() const;
    // Reads standard output until `text` appeared there `times` times since
    // the start, or `limit` passed; true when it did.
    bool waitForOutput(const std::string& text, std::size_t times, std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    int stdout_ = -1;
    std::string output_;
};

// Runs one of our executables to its end and returns what it printed on
// stdout; `exitCode` gets its exit status.
std::string RunProgram(const std::string& program, const std::string& arguments, int& exitCode);

std::string BinDir();
std::string SourceDir();
// The development PKI made by the build (CORVALA_PKI_DIR).
std::string PkiFile(const std::string& name);

}  // namespace corvala::testing
