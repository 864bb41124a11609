#include "ProcessWire.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace engine_test {

void Wire::send(int peer, const std::string& kind, const std::string& payload) {
  const std::string head = std::to_string(peer) + " " + kind + " " + std::to_string(payload.size()) + "\n";
  std::lock_guard lock(mutex_);
  writeAll(head + payload);
}

bool Wire::receive(int& peer, std::string& kind, std::string& payload) {
  std::string head;
  char c;
  while (read(fd_, &c, 1) == 1 && c != '\n') head += c;
  size_t size = 0;
  char name[64] = {};
  if (std::sscanf(head.c_str(), "%d %63s %zu", &peer, name, &size) != 3) return false;
  kind = name;
  payload.resize(size);
  for (size_t got = 0; got < size;) {
    const ssize_t n = read(fd_, payload.data() + got, size - got);
    if (n <= 0) return false;
    got += size_t(n);
  }
  return true;
}

void Wire::writeAll(const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += size_t(n);
  }
}

void wirePeer(TestPeer& peer, Wire& wire, int index) {
  peer.onDescription = [&wire, index](const std::string& type, const std::string& sdp) { wire.send(index, type, sdp); };
  peer.onLocalCandidate = [&wire, index](const std::string& mid, int line, const std::string& candidate) {
    wire.send(index, "candidate", mid + "\n" + std::to_string(line) + "\n" + candidate);
  };
}

void deliver(TestPeer& peer, const std::string& kind, const std::string& payload) {
  if (kind == "candidate") {
    const auto a = payload.find('\n'), b = payload.find('\n', a + 1);
    peer.addRemoteCandidate(payload.substr(0, a), std::atoi(payload.substr(a + 1, b - a - 1).c_str()),
                            payload.substr(b + 1));
  } else {
    peer.applyRemote(kind, payload);
  }
}

ChildProcess::ChildProcess(const std::string& program, const std::string& argument) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
  // Everything the child needs is made before fork: between fork and exec
  // a process with threads may only make async-signal-safe calls.
  const int childEnd = dup(fds[1]);  // without close-on-exec
  const std::string fdText = std::to_string(childEnd);
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                             const_cast<char*>(fdText.c_str()), nullptr};
  pid_ = fork();
  if (pid_ == 0) {
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(childEnd);
  close(fds[1]);
  fd_ = fds[0];
}

void ChildProcess::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

ChildProcess::~ChildProcess() {
  kill();
  if (fd_ >= 0) close(fd_);
}

}  // namespace engine_test
