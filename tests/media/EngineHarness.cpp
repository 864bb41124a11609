#include "EngineHarness.h"

namespace corvala::testing_support {

void Mailbox::Post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void Mailbox::Notify()
{
    {
        std::lock_guard lock(mutex_);
        ++notices_;
    }
    changed_.notify_all();
}

bool Mailbox::WaitFor(const std::function<bool()>& done, std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            // A job or a notice wakes the waiter at once; the short wait
            // only bounds how late a change is seen that nobody announced.
            const unsigned long seen = notices_;
            changed_.wait_for(lock, std::chrono::milliseconds(50),
                              [this, seen] { return !jobs_.empty() || notices_ != seen; });
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
        }
        if (job)
            job();
        else if (done())
            return true;
        else if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
}

} // namespace corvala::testing_support
