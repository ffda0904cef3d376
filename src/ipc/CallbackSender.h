// The host's end of a callback pipe: a queue that any thread fills, and a thread that
// sends the queued messages one by one, in order. A small message queued while nothing
// waits or is being sent goes out at once on the queuing thread, when the channel can take
// it without waiting: waking the sending thread would cost more than sending it.
#pragma once

#include <chrono>
#include <condition_variable>
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
  // Largest text the queuing thread sends itself: its compression takes some tens of
  // microseconds, a larger one's could take a caller's milliseconds.
  static constexpr size_t kMaxSentAtOnceBytes = 4096;

  // Sends the queued messages on channel (already open) until Stop.
  bool Start(IPCInterface& channel);
  // Ends the sending thread and waits for a send on a queuing thread to end, so that the
  // channel may go.
  void Stop();
  bool IsRunning() const { return worker_.IsRunning(); }

  // Queues a message, or sends it at once; false when the queue is full and it was dropped
  // (one log line for each run of drops).
  bool QueueMessage(std::string message);
  bool DequeueMessage(std::string& message);
  bool IsQueueEmpty();
  // Returns once every message queued before the call has been sent or dropped (or the
  // sending stopped, or `limit` passed): a host that answers a request after this has put
  // the callbacks its function fired on the pipe ahead of the answer.
  void Flush(std::chrono::milliseconds limit);

 private:
  static constexpr uint32_t kWriteTimeoutMs = 300;
  static constexpr uint32_t kIdleWaitMs = 100;

  void SendQueued(IPCInterface& channel);
  // Under the lock: the front message, to be sent now by the thread that takes it.
  bool PopFront(std::string& message);
  // The sending thread: the next message, unless a queuing thread is sending.
  bool TakeNextToSend(std::string& message);
  // Whoever sent: lets the next sender go.
  void SendEnded();
  static void TraceSent(IPCInterface& channel, const std::string& message);

  ChannelWorker worker_;
  // Guarded by worker_.Lock(), which the idle wait sleeps on.
  std::deque<std::string> queue_;
  size_t queuedBytes_ = 0;
  bool dropping_ = false;
  // Messages ever taken in (queued or sent at once), and of them those sent or dropped.
  uint64_t takenIn_ = 0;
  uint64_t doneWith_ = 0;
  // The channel while started; queuing threads send on it only while it is set.
  IPCInterface* channel_ = nullptr;
  // A thread (the sending one or a queuing one) is using the channel: one at a time, and
  // nothing queued after a message goes before it.
  bool sending_ = false;
  std::condition_variable sendEnded_;
};

}  // namespace IPC
