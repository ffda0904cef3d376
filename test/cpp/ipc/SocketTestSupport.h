// Helpers for handler tests over real sockets: unique channel names, processors that
// answer or collect, and forked peers synchronised through a pipe.
#pragma once

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/BaseMessageProcessor.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"

namespace IPCTest {

// Names are per process and per call, because ctest runs test cases side by side.
inline std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "hostlink_ipc_test_" + tag + "_" + std::to_string(getpid()) + "_" +
         std::to_string(counter++);
}

// Answers each request with a success whose result is "echo:" and the request's name.
class EchoProcessor : public IPC::BaseMessageProcessor {
 public:
  void ProcessRequest(const std::string& request, std::string& response) override {
    IPC::RequestMessage parsed;
    if (!parsed.FromJSONString(request)) {
      response = IPC::ResponseMessage(0, "unreadable request", 1).ToJSONString();
      return;
    }
    response = IPC::ResponseMessage(parsed.requestId, "echo:" + parsed.name).ToJSONString();
  }
};

// Messages seen by a callback processor, shared with the test that owns the handler.
struct Collected {
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::string> messages;

  bool WaitFor(size_t count, std::chrono::seconds limit = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> guard(lock);
    return arrived.wait_for(guard, limit, [&] { return messages.size() >= count; });
  }
  std::vector<std::string> Snapshot() {
    std::lock_guard<std::mutex> guard(lock);
    return messages;
  }
};

class CollectingProcessor : public IPC::BaseMessageProcessor {
 public:
  explicit CollectingProcessor(std::shared_ptr<Collected> sink) : sink_(std::move(sink)) {}
  void ProcessCallbackMessage(const std::string& message) override {
    std::lock_guard<std::mutex> guard(sink_->lock);
    sink_->messages.push_back(message);
    sink_->arrived.notify_all();
  }

 private:
  std::shared_ptr<Collected> sink_;
};

// A one-way byte signal between a parent and its forked child.
class Signal {
 public:
  Signal() {
    if (pipe(fds_) != 0) {
      fds_[0] = fds_[1] = -1;
    }
  }
  ~Signal() {
    close(fds_[0]);
    close(fds_[1]);
  }
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  bool Send(char byte) { return write(fds_[1], &byte, 1) == 1; }
  // Waits up to the limit for the expected byte.
  bool Wait(char expected, int timeoutMs = 20000) {
    pollfd p{fds_[0], POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) {
      return false;
    }
    char byte = 0;
    return read(fds_[0], &byte, 1) == 1 && byte == expected;
  }

 private:
  int fds_[2];
};

// Runs body in a forked child, which exits with its result and never returns here.
// Fork before starting any thread, so the child inherits no half-held lock.
inline pid_t ForkChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    _exit(body());
  }
  return pid;
}

// The child's exit status, or -1 when it did not exit normally.
inline int WaitForChild(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

}  // namespace IPCTest
