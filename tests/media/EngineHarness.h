#pragma once
// A job queue that plays the main thread and the signalling server between
// two components in one process: engine events post work here, and the
// test's own thread runs it while it waits for a condition.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace corvala::testing_support {

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

} // namespace corvala::testing_support
