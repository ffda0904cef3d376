// The callback sender's queue and loop.
#include "ipc/CallbackSender.h"

#include <chrono>
#include <utility>

#include "base/Log.h"
#include "base/Trace.h"

namespace IPC {

bool CallbackSender::Start(IPCInterface& channel) {
  {
    std::lock_guard<std::mutex> lock(worker_.Lock());
    channel_ = &channel;
  }
  if (worker_.Start([this, &channel] { SendQueued(channel); })) {
    return true;
  }
  std::lock_guard<std::mutex> lock(worker_.Lock());
  channel_ = nullptr;
  return false;
}

void CallbackSender::Stop() {
  worker_.Stop();
  std::unique_lock<std::mutex> lock(worker_.Lock());
  channel_ = nullptr;
  sendEnded_.wait(lock, [this] { return !sending_; });
}

void CallbackSender::TraceSent(IPCInterface& channel, const std::string& message) {
  if (TraceOn()) {
    TraceMessage(TraceDirection::Callback, channel.Name(), channel.LastWriteSizes().compressed,
                 message, std::chrono::steady_clock::duration::zero());
  }
}

void CallbackSender::SendQueued(IPCInterface& channel) {
  std::string message;
  while (!worker_.StopRequested()) {
    if (TakeNextToSend(message)) {
      // Sent or not, the message is gone: the channel has logged a failure.
      if (channel.Write(message, kWriteTimeoutMs)) {
        TraceSent(channel, message);
      }
      SendEnded();
      continue;
    }
    worker_.WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(kIdleWaitMs),
                      [this] { return !queue_.empty() && !sending_; });
  }
}

void CallbackSender::SendEnded() {
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(worker_.Lock());
    sending_ = false;
    ++doneWith_;
    queued = !queue_.empty();
  }
  // Woken only for what waits: a needless wake-up takes the CPU the plug-in needs now.
  if (queued) {
    worker_.Wake();
  }
  sendEnded_.notify_all();
}

bool CallbackSender::QueueMessage(std::string message) {
  std::unique_lock<std::mutex> lock(worker_.Lock());
  if (queue_.size() >= kMaxQueuedMessages ||
      queuedBytes_ + message.size() > kMaxQueuedBytes) {
    // One line for each run of drops, so a plug-in that never reads cannot flood the log.
    if (!dropping_) {
      LogError("CallbackSender : Dropping callback messages, the plug-in is not taking them");
    }
    dropping_ = true;
    return false;
  }
  ++takenIn_;
  if (channel_ != nullptr && !sending_ && queue_.empty() &&
      message.size() <= kMaxSentAtOnceBytes) {
    IPCInterface& channel = *channel_;
    sending_ = true;
    lock.unlock();
    if (channel.WriteNow(message)) {
      TraceSent(channel, message);
      SendEnded();
      return true;
    }
    lock.lock();
    // Whatever was queued meanwhile came after it.
    queuedBytes_ += message.size();
    queue_.push_front(std::move(message));
    sending_ = false;
    lock.unlock();
    worker_.Wake();
    sendEnded_.notify_all();
    return true;
  }
  queuedBytes_ += message.size();
  queue_.push_back(std::move(message));
  lock.unlock();
  worker_.Wake();
  return true;
}

bool CallbackSender::PopFront(std::string& message) {
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

bool CallbackSender::TakeNextToSend(std::string& message) {
  std::lock_guard<std::mutex> lock(worker_.Lock());
  if (sending_ || !PopFront(message)) {
    return false;
  }
  sending_ = true;
  return true;
}

bool CallbackSender::DequeueMessage(std::string& message) {
  std::lock_guard<std::mutex> lock(worker_.Lock());
  if (!PopFront(message)) {
    return false;
  }
  ++doneWith_;
  sendEnded_.notify_all();
  return true;
}

void CallbackSender::Flush(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(worker_.Lock());
  const uint64_t target = takenIn_;
  sendEnded_.wait_for(lock, limit, [&] { return doneWith_ >= target || channel_ == nullptr; });
}

bool CallbackSender::IsQueueEmpty() {
  std::lock_guard<std::mutex> lock(worker_.Lock());
  return queue_.empty();
}

}  // namespace IPC
