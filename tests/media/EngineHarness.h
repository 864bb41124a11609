#pragma once
// Helpers for the tests that run the component over the real media library:
// an isolated network, a job queue that plays the signalling server between
// two components, and an X server of our own.

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace corvala::testing_support {

// Re-runs the current test program inside a new user and network namespace
// whose only interface is loopback, so that no packet can leave the machine.
// Returns only in the re-run process; exits on failure.
void EnterLoopbackOnlyNetwork(int argc, char** argv);

// Engine events post work here; the test's own thread runs it while it waits
// for a condition, the way a main thread would.
class Mailbox {
public:
    void Post(std::function<void()> job);
    // Runs posted jobs until `done` holds; false after `timeout`.
    bool WaitFor(const std::function<bool()>& done, std::chrono::seconds timeout = std::chrono::seconds(30));
    // Wakes a waiter to check its condition again.
    void Notify();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    unsigned long notices_ = 0;
};

// An Xvfb on a free display number, stopped on destruction.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    bool Started() const { return pid_ > 0 && !name_.isEmpty(); }
    const QString& Name() const { return name_; }

private:
    long pid_ = -1;
    QString name_;
};

} // namespace corvala::testing_support
