#include "Dispatcher.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>

namespace corvala::engine {

// Neither is ever destroyed: at process exit its thread may sit inside a
// program callback, and joining it from a static destructor would hang the exit.
Dispatcher& Dispatcher::instance() {
  static auto* dispatcher = new Dispatcher("rtc-dispatch");
  return *dispatcher;
}

Dispatcher& Dispatcher::data() {
  static auto* dispatcher = new Dispatcher("rtc-data");
  return *dispatcher;
}

bool Dispatcher::waitUntilIdleEverywhere(const Lifetime* owner, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool idle = true;
  for (Dispatcher* dispatcher : {&instance(), &data()}) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    idle = dispatcher->waitUntilIdle(owner, int(std::max<int64_t>(0, left.count()))) && idle;
  }
  return idle;
}

Dispatcher::Dispatcher(const char* threadName) {
  std::thread thread([this, threadName] { run(threadName); });
  threadId_ = thread.get_id();
  thread.detach();
}

void Dispatcher::post(std::shared_ptr<Lifetime> owner, std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(Task{std::move(owner), std::move(task), ++posted_});
  }
  wake_.notify_one();
}

bool Dispatcher::onDispatchThread() const { return std::this_thread::get_id() == threadId_; }

bool Dispatcher::drain(int timeoutMs) {
  std::unique_lock lock(mutex_);
  const uint64_t target = posted_;
  return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return finished_ >= target; });
}

bool Dispatcher::waitUntilIdle(const Lifetime* owner, int timeoutMs) {
  if (onDispatchThread()) return true;
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return running_ != owner; });
}

void Dispatcher::run(const char* threadName) {
  pthread_setname_np(pthread_self(), threadName);  // told apart in perf and debuggers
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return !queue_.empty(); });
    Task task = std::move(queue_.front());
    queue_.pop_front();
    // Checked under the lock, so that an owner ended before waitUntilIdle
    // either sees this task as running or this task sees the owner ended.
    const bool run = !task.owner || task.owner->alive();
    running_ = run ? task.owner.get() : nullptr;
    lock.unlock();
    if (run) task.work();
    task = Task{};  // release captured data outside the lock
    lock.lock();
    running_ = nullptr;
    ++finished_;
    done_.notify_all();
  }
}

}  // namespace corvala::engine
