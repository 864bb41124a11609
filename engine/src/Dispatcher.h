// The threads that call the program back. GStreamer threads only copy what
// they have into a queue, so a program callback that blocks (for instance
// waiting for its main thread) never holds up a streaming thread, and an
// entry point called meanwhile never waits for it. Received data-channel
// messages have a thread of their own: a frame callback that takes long (a
// copy into the program's picture, a wait for its main thread) must not hold
// up file transfer and input, nor they the picture.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvala::engine {

// Shared by an object and every task queued for it; once ended, its queued
// tasks are dropped instead of run.
class Lifetime {
 public:
  bool alive() const { return alive_.load(); }
  void end() { alive_.store(false); }

 private:
  std::atomic<bool> alive_{true};
};

class Dispatcher {
 public:
  // Connection events, descriptions, candidates, frames and statistics.
  static Dispatcher& instance();
  // Received data-channel messages of every channel, in order per channel.
  static Dispatcher& data();
  // waitUntilIdle on every dispatcher, all within one time limit.
  static bool waitUntilIdleEverywhere(const Lifetime* owner, int timeoutMs);

  void post(std::shared_ptr<Lifetime> owner, std::function<void()> task);
  bool onDispatchThread() const;
  // After owner->end(): waits until no task of that owner is running, for
  // at most timeoutMs (a callback blocked on the calling thread would
  // otherwise never finish). Returns at once on the dispatch thread.
  bool waitUntilIdle(const Lifetime* owner, int timeoutMs);
  // Waits until every task queued before this call has run or been dropped.
  // Must not be called from the dispatch thread. Returns false on time-out.
  bool drain(int timeoutMs);

 private:
  explicit Dispatcher(const char* threadName);
  void run(const char* threadName);

  struct Task {
    std::shared_ptr<Lifetime> owner;
    std::function<void()> work;
    uint64_t serial;
  };
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::deque<Task> queue_;
  uint64_t posted_ = 0;
  uint64_t finished_ = 0;
  std::thread::id threadId_;
  const Lifetime* running_ = nullptr;
};

}  // namespace corvala::engine
