// The callback sender's queue and loop.
#include "ipc/CallbackSender.h"

#include <chrono>
#include <utility>

#include "base/Log.h"
#include "base/Trace.h"

namespace IPC {

bool CallbackSender::Start(IPCInterface& channel) {
  return worker_.Start([this, &channel] { SendQueued(channel); });
}

void CallbackSender::SendQueued(IPCInterface& channel) {
  std::string message;
  while (!worker_.StopRequested()) {
    if (DequeueMessage(message)) {
      // Sent or not, the message is gone: the channel has logged a failure.
      if (channel.Write(message, kWriteTimeoutMs) && TraceOn()) {
        TraceMessage(TraceDirection::Callback, channel.Name(), channel.LastWriteSizes().compressed,
                     message, std::chrono::steady_clock::duration::zero());
      }
      continue;
    }
    worker_.WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(kIdleWaitMs),
                      [this] { return !queue_.empty(); });
  }
}

bool CallbackSender::QueueMessage(std::string message) {
  {
    std::lock_guard<std::mutex> lock(worker_.Lock());
    if (queue_.size() >= kMaxQueuedMessages ||
        queuedBytes_ + message.size() > kMaxQueuedBytes) {
      // One line for each run of drops, so a plug-in that never reads cannot flood the log.
      if (!dropping_) {
        LogError("CallbackSender : Dropping callback messages, the plug-in is not taking them");
      }
      dropping_ = true;
      return false;
    }
    queuedBytes_ += message.size();
    queue_.push_back(std::move(message));
  }
  worker_.Wake();
  return true;
}

bool CallbackSender::DequeueMessage(std::string& message) {
  std::lock_guard<std::mutex> lock(worker_.Lock());
  if (queue_.empty()) {
    return false;
  }
  message = std::move(queue_.front());
  queue_.pop_front();
  queuedBytes_ -= message.size();
  // A run of drops ends once the queue has drained to half its bounds, not at the first
  // free place, so a queue that hovers at its limit logs one line, not one per message.
  if (dropping_ && queue_.size() <= kMaxQueuedMessages / 2 &&
      queuedBytes_ <= kMaxQueuedBytes / 2) {
    dropping_ = false;
  }
  return true;
}

bool CallbackSender::IsQueueEmpty() {
  std::lock_guard<std::mutex> lock(worker_.Lock());
  return queue_.empty();
}

}  // namespace IPC
