// The host's end of a callback pipe: a queue that any thread fills, and a thread that
// sends the queued messages one by one, in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "ipc/ChannelWorker.h"
#include "transport/IPCInterface.h"

namespace IPC {

class CallbackSender {
 public:
  // Bounds of what waits to be sent: a plug-in that never reads must not make the host
  // grow without end. A burst of small callbacks that a slow plug-in reads later fits.
  static constexpr size_t kMaxQueuedMessages = 65536;
  static constexpr size_t kMaxQueuedBytes = 16u << 20;

  // Sends the queued messages on channel (already open) until Stop.
  bool Start(IPCInterface& channel);
  void Stop() { worker_.Stop(); }
  bool IsRunning() const { return worker_.IsRunning(); }

  // Queues a message; false when the queue is full and it was dropped (one log line for
  // each run of drops).
  bool QueueMessage(std::string message);
  bool DequeueMessage(std::string& message);
  bool IsQueueEmpty();

 private:
  static constexpr uint32_t kWriteTimeoutMs = 300;
  static constexpr uint32_t kIdleWaitMs = 100;

  void SendQueued(IPCInterface& channel);

  ChannelWorker worker_;
  // Guarded by worker_.Lock(), which the idle wait sleeps on.
  std::deque<std::string> queue_;
  size_t queuedBytes_ = 0;
  bool dropping_ = false;
};

}  // namespace IPC
