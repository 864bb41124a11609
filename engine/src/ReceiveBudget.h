// How much a connection's data channels may hold for the program: received
// messages wait for the dispatch thread, and a peer can send far faster than
// the program takes them (or while its callback waits for a busy main
// thread). One budget covers every channel of the connection, since a peer
// can open as many channels as it likes.
#pragma once

#include <cstddef>
#include <mutex>

namespace corvala::engine {

class ReceiveBudget {
 public:
  ReceiveBudget(size_t maxBytes, size_t maxMessages) : maxBytes_(maxBytes), maxMessages_(maxMessages) {}

  // Counts one more waiting message; false (nothing counted) when it would
  // go over either bound.
  bool take(size_t bytes);
  // The message was delivered or dropped.
  void give(size_t bytes);
  size_t bytes() const;
  size_t messages() const;

 private:
  const size_t maxBytes_, maxMessages_;
  mutable std::mutex mutex_;
  size_t bytes_ = 0, messages_ = 0;
};

}  // namespace corvala::engine
