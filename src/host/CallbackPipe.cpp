// Opening, closing and renewing the host's callback pipe.
#include "host/CallbackPipe.h"

#include <utility>

#include "base/Log.h"

namespace Host {

namespace {

constexpr uint32_t kOpenTimeoutMs = 300;

}  // namespace

bool CallbackPipe::Open() {
  std::lock_guard<std::mutex> lock(lock_);
  if (pipe_) {
    return true;
  }
  auto pipe = std::make_unique<IPC::NamedPipe>(name_, IPC::ServerCallback);
  if (!pipe->Open(kOpenTimeoutMs) || !sender_.Start(*pipe)) {
    return false;
  }
  pipe_ = std::move(pipe);
  return true;
}

void CallbackPipe::Close() {
  std::lock_guard<std::mutex> lock(lock_);
  sender_.Stop();
  pipe_.reset();
  std::string dropped;
  while (sender_.DequeueMessage(dropped)) {
  }
}

bool CallbackPipe::Queue(std::string message) {
  std::lock_guard<std::mutex> lock(lock_);
  return pipe_ != nullptr && sender_.QueueMessage(std::move(message));
}

void CallbackPipe::Renew(bool dropQueued) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!pipe_) {
    return;
  }
  // The sender is the pipe's only other user: it waits while the client changes.
  sender_.Stop();
  std::string dropped;
  while (dropQueued && sender_.DequeueMessage(dropped)) {
  }
  // The name stays ours throughout: only the client goes (Linux: the listening socket stays
  // bound; Windows: the one instance is disconnected and listens again).
  pipe_->DropClient();
  if (!sender_.Start(*pipe_)) {
    IPC::LogError("HostService : Failed to renew the callback pipe");
  }
}

}  // namespace Host
