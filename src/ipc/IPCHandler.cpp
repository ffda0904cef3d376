// The handler's start and stop rules, its three worker loops and the client exchange.
#include "ipc/IPCHandler.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "base/Log.h"
#include "ipc/ResponseMessage.h"

namespace IPC {

namespace {

bool HasWorker(int32_t mode) {
  return mode == ServerRequest || mode == ServerCallback || mode == ClientCallback;
}

// What a serving end answers when it has no processor; the same text every time.
const std::string& PlainSuccessText() {
  static const std::string text = ResponseMessage::Success().ToJSONString();
  return text;
}

}  // namespace

IPCHandler::IPCHandler(std::unique_ptr<BaseMessageProcessor> processor)
    : processor_(std::move(processor)) {}

IPCHandler::~IPCHandler() { Stop(); }

bool IPCHandler::Start(std::unique_ptr<IPCInterface> channel) {
  if (!channel || !channel->IsValid()) {
    LogError("IPCHandler : Failed to start as IPC interface object is invalid");
    return false;
  }
  if (channel.get() == channel_.get()) {
    (void)channel.release();  // already owned here
    return true;
  }
  // A running worker uses the old channel: it must end before that channel goes.
  StopWorker();
  channel_ = std::move(channel);
  if (!channel_->Open(kOpenTimeoutMs)) {
    return false;
  }
  if (HasWorker(channel_->GetMode())) {
    stop_.store(false, std::memory_order_release);
    try {
      worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      LogError("IPCHandler : Failed to create worker thread");
      return false;
    }
  }
  return true;
}

void IPCHandler::Stop() {
  if (!channel_) {
    return;
  }
  StopWorker();
  channel_.reset();
}

void IPCHandler::StopWorker() {
  if (!worker_.joinable()) {
    return;
  }
  {
    // Set under the queue lock so that an idle mode-2 worker cannot miss the wake-up.
    std::lock_guard<std::recursive_mutex> lock(queueLock_);
    stop_.store(true, std::memory_order_release);
  }
  queueChanged_.notify_all();
  worker_.join();
  worker_ = std::thread();
}

void IPCHandler::Run() {
  if (!channel_) {
    LogError("IPCHandler : Communication object is null while starting thread");
    return;
  }
  switch (channel_->GetMode()) {
    case ServerRequest:
      ServeRequests();
      return;
    case ServerCallback:
      SendQueuedMessages();
      return;
    case ClientRequest:
      return;
    case ClientCallback:
      ReceiveCallbacks();
      return;
    default:
      LogError("IPCHandler : Invalid mode while starting thread for IPC communication",
               channel_->Name().c_str(), channel_->GetMode());
      return;
  }
}

void IPCHandler::ServeRequests() {
  std::string request;
  std::string response;
  while (!StopRequested()) {
    if (!channel_->Read(request, kWorkerReadTimeoutMs)) {
      continue;
    }
    if (StopRequested()) {
      return;
    }
    response.clear();
    if (processor_) {
      processor_->ProcessRequest(request, response);
    } else {
      LogError("IPCHandler : Failed to process request, no processor available",
               channel_->Name().c_str(), channel_->GetMode());
      response = PlainSuccessText();
    }
    if (StopRequested()) {
      return;
    }
    // A failed write has been logged by the channel; the answer is lost.
    channel_->Write(response, kWriteTimeoutMs);
  }
}

void IPCHandler::SendQueuedMessages() {
  std::string message;
  while (!StopRequested()) {
    if (DequeueMessage(message)) {
      // Sent or not, the message is gone: the channel has logged a failure.
      channel_->Write(message, kWriteTimeoutMs);
      continue;
    }
    std::unique_lock<std::recursive_mutex> lock(queueLock_);
    queueChanged_.wait_for(lock, std::chrono::milliseconds(kIdleQueueWaitMs),
                           [this] { return StopRequested() || !queue_.empty(); });
  }
}

void IPCHandler::ReceiveCallbacks() {
  std::string message;
  while (!StopRequested()) {
    const auto turnEnd =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerReadTimeoutMs);
    if (!channel_->Read(message, kWorkerReadTimeoutMs)) {
      // A read that gave up before its limit found the pipe gone and could not reopen it
      // (and logged so): the rest of the turn is waited out, so that a host that went away
      // is looked for ten times a second rather than a thousand.
      WaitUnlessStopped(turnEnd);
      continue;
    }
    if (StopRequested()) {
      return;
    }
    if (processor_) {
      processor_->ProcessCallbackMessage(message);
    } else {
      LogError("IPCHandler : Failed to process callback message, no processor available",
               channel_->Name().c_str(), channel_->GetMode());
    }
  }
}

void IPCHandler::WaitUnlessStopped(std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::recursive_mutex> lock(queueLock_);
  queueChanged_.wait_until(lock, until, [this] { return StopRequested(); });
}

bool IPCHandler::SendRequest(const std::string& request, std::string& response) {
  if (!channel_) {
    response.clear();
    LogError("IPCHandler : Failed to send request as IPC interface object is null");
    return false;
  }
  if (worker_.joinable()) {
    // The worker owns the channel; two threads must never use it at once.
    response.clear();
    LogError("IPCHandler : Failed to send request as the channel belongs to the worker thread");
    return false;
  }
  DiscardWaitingMessages();
  if (!channel_->Write(request, kWriteTimeoutMs)) {
    response.clear();
    return false;
  }
  return ReadResponse(request, response);
}

void IPCHandler::DiscardWaitingMessages() {
  // Nothing is ever sent unasked on a request channel: whatever waits before a request
  // is written answers an earlier one.
  for (int i = 0; i < kMaxDiscardedBeforeRequest && channel_->DiscardWaiting(); ++i) {
    LogError("IPCHandler : Discarded a message that arrived before the request");
  }
}

bool IPCHandler::ReadResponse(const std::string& request, std::string& response) {
  using Clock = std::chrono::steady_clock;
  const uint32_t apiTimeoutMs = GetTimeout();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(apiTimeoutMs);
  uint32_t readTimeoutMs = apiTimeoutMs == 0 ? 0xFFFFFFFFu : apiTimeoutMs;
  // Should an earlier request that timed out have had the same identifier, its answer
  // can no longer be told from this one's.
  timedOut_.Forget(request);
  for (;;) {
    if (!channel_->Read(response, readTimeoutMs)) {
      LogError("IPCHandler : Failed to read response after sending request");
      timedOut_.Add(request);
      return false;
    }
    if (!timedOut_.Answers(response)) {
      return true;
    }
    LogError("IPCHandler : Discarded a late response to a timed-out request");
    if (apiTimeoutMs != 0) {
      // The wait goes on within what is left of the same limit (0 still reads once).
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      readTimeoutMs = left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
    }
  }
}

void IPCHandler::QueueMessage(std::string message) {
  {
    std::lock_guard<std::recursive_mutex> lock(queueLock_);
    queue_.push_back(std::move(message));
  }
  queueChanged_.notify_one();
}

bool IPCHandler::DequeueMessage(std::string& message) {
  std::lock_guard<std::recursive_mutex> lock(queueLock_);
  if (queue_.empty()) {
    return false;
  }
  message = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

bool IPCHandler::IsQueueEmpty() {
  std::lock_guard<std::recursive_mutex> lock(queueLock_);
  return queue_.empty();
}

}  // namespace IPC
