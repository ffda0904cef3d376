// Owns one message channel and runs the traffic its mode calls for: serving requests,
// sending queued messages, request/response exchanges, or receiving callback messages.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ipc/BaseMessageProcessor.h"
#include "ipc/TimedOutRequests.h"
#include "transport/IPCInterface.h"

namespace IPC {

class IPCHandler {
 public:
  // The processor may be null; the handler owns it.
  explicit IPCHandler(std::unique_ptr<BaseMessageProcessor> processor = nullptr);
  // Stops the worker first. A derived class that overrides Run must call Stop in its
  // own destructor, so that the worker never runs an object half destroyed.
  virtual ~IPCHandler();

  IPCHandler(const IPCHandler&) = delete;
  IPCHandler& operator=(const IPCHandler&) = delete;

  // Takes the channel, opens it within 300 ms and, for modes 1, 2 and 4, starts the
  // worker. An invalid channel is refused (and destroyed); a channel that fails to
  // open is kept, closed. Passing the channel already held changes nothing.
  virtual bool Start(std::unique_ptr<IPCInterface> channel);
  // Ends the worker, if any, and destroys the channel.
  virtual void Stop();
  // The worker's body, chosen by the channel's mode.
  virtual void Run();

  // One exchange on a client request channel: writes the request within 300 ms, then
  // takes the next message as the response, waiting up to the API time-out. Messages
  // already waiting before the write, and answers to earlier requests that timed out,
  // are late answers: each is dropped with a log line.
  bool SendRequest(const std::string& request, std::string& response);

  // The outgoing queue, sent one by one by a mode-2 worker.
  void QueueMessage(std::string message);
  bool DequeueMessage(std::string& message);
  bool IsQueueEmpty();

  // The API time-out in milliseconds; 0 waits for a response without limit.
  void SetTimeout(uint32_t timeoutMs) { apiTimeout_.store(timeoutMs, std::memory_order_relaxed); }
  uint32_t GetTimeout() const { return apiTimeout_.load(std::memory_order_relaxed); }

  BaseMessageProcessor* GetProcessor() const { return processor_.get(); }
  IPCInterface* GetChannel() const { return channel_.get(); }

 protected:
  bool StopRequested() const { return stop_.load(std::memory_order_acquire); }

 private:
  static constexpr uint32_t kOpenTimeoutMs = 300;
  static constexpr uint32_t kWriteTimeoutMs = 300;
  static constexpr uint32_t kWorkerReadTimeoutMs = 100;
  static constexpr uint32_t kIdleQueueWaitMs = 100;
  // Bounds the clearing before a request, so a peer that never stops writing cannot
  // hold the caller in it.
  static constexpr int kMaxDiscardedBeforeRequest = 256;

  void ServeRequests();
  void SendQueuedMessages();
  void ReceiveCallbacks();
  void StopWorker();
  // Sleeps until the time given, or less when the handler stops.
  void WaitUnlessStopped(std::chrono::steady_clock::time_point until);
  void DiscardWaitingMessages();
  // Reads the response to `request` within the API time-out, passing over late answers.
  bool ReadResponse(const std::string& request, std::string& response);

  // Declared in reverse order of destruction: the lock and queue go first, then the
  // processor, the channel and last the thread object.
  std::thread worker_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<IPCInterface> channel_;
  std::unique_ptr<BaseMessageProcessor> processor_;
  std::deque<std::string> queue_;
  std::recursive_mutex queueLock_;
  // Wakes an idle mode-2 worker when a message is queued or the handler stops.
  std::condition_variable_any queueChanged_;
  std::atomic<uint32_t> apiTimeout_{0};
  // Used by the calling thread of SendRequest only.
  TimedOutRequests timedOut_;
};

}  // namespace IPC
