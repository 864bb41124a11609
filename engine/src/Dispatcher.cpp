#include "Dispatcher.h"

#include <chrono>

namespace corvala::engine {

Dispatcher& Dispatcher::instance() {
  // Never destroyed: at process exit the thread may sit inside a program
  // callback, and joining it from a static destructor would hang the exit.
  static auto* dispatcher = new Dispatcher;
  return *dispatcher;
}

Dispatcher::Dispatcher() {
  std::thread thread([this] { run(); });
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

void Dispatcher::run() {
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
