// Peers in two processes: descriptions and candidates (and whatever else a
// test or bench needs to say) cross a socket as frames
// "peer kind length\n" + payload.
#pragma once

#include "EngineHarness.h"

#include <mutex>
#include <string>
#include <sys/types.h>

namespace engine_test {

class Wire {
 public:
  explicit Wire(int fd) : fd_(fd) {}
  void send(int peer, const std::string& kind, const std::string& payload);
  // False at the end of the stream (the other process is gone).
  bool receive(int& peer, std::string& kind, std::string& payload);

 private:
  void writeAll(const std::string& bytes);
  int fd_;
  std::mutex mutex_;
};

// What `peer` makes goes over the wire as peer number `index`; what comes
// in for it is handed over with deliver().
void wirePeer(TestPeer& peer, Wire& wire, int index);
void deliver(TestPeer& peer, const std::string& kind, const std::string& payload);

// A program started with the other end of a socket pair as its last
// argument (a descriptor number). Killed (SIGKILL) and reaped at the end.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::string& argument);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  bool ok() const { return pid_ > 0; }
  int fd() const { return fd_; }
  void kill();

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

}  // namespace engine_test
