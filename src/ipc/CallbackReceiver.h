// The plug-in's end of a callback pipe: a thread that reads each callback message and
// hands it to the processor.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/AdaptiveSpin.h"
#include "ipc/BaseMessageProcessor.h"
#include "ipc/ChannelWorker.h"
#include "transport/IPCInterface.h"

namespace IPC {

class CallbackReceiver {
 public:
  // Reads channel (already open) until Stop; processor may be null (each message is then
  // logged and dropped). Both must outlive the receiving. Lent: an event loop takes the
  // messages (ReadWaiting) when it is told they wait, and the thread only stands by, taking
  // over what that loop has left waiting for kStandByTurn (its thread is busy), until
  // TakeBack.
  bool Start(IPCInterface& channel, CallbackProcessor* processor, bool lent = false);
  // Any thread, while lent: hands every message waiting now to the processor, in order.
  // False when not lent (any more), or when the channel failed (the thread takes it back).
  bool ReadWaiting(IPCInterface& channel, CallbackProcessor* processor);
  // The thread reads the channel itself from now on.
  void TakeBack();
  void Stop();
  bool IsRunning() const { return worker_.IsRunning(); }

  // Any thread: returns once every message that had reached the channel when it was called
  // has been handed to the processor, so that what the host sent before an answer is handed
  // on before that answer is. Gives up after kCatchUpLimit (a receiver that cannot keep
  // up) or when the receiver stops.
  void CatchUp(IPCInterface& channel);

 private:
  static constexpr uint32_t kReadTimeoutMs = 100;
  static constexpr auto kStandByTurn = std::chrono::milliseconds(20);
  // Messages one ReadWaiting takes at most: a host that floods cannot hold the loop's thread.
  static constexpr int kMostPerRead = 256;
  static constexpr auto kCatchUpLimit = std::chrono::seconds(1);
  // A yield after a callback that kept this thread off its CPU longer than this found
  // other threads wanting the CPU (a busy machine): yielding is left off for a while.
  static constexpr auto kYieldCost = std::chrono::microseconds(200);

  void Receive(IPCInterface& channel, CallbackProcessor* processor);
  // Lent: takes over what waits once the loop has taken nothing for a whole turn.
  void StandBy(IPCInterface& channel, CallbackProcessor* processor);
  // Under readLock_: hands on what waits; false when the channel failed.
  bool HandOnWaiting(IPCInterface& channel, CallbackProcessor* processor);
  void Process(IPCInterface& channel, CallbackProcessor* processor, const std::string& message);
  // Receiver thread: every message taken so far has been handed on.
  void HandedOn(IPCInterface& channel);

  ChannelWorker worker_;
  AdaptiveSpin yield_{kYieldCost};
  std::mutex handedLock_;
  std::condition_variable handedChanged_;
  uint64_t handedOn_ = 0;
  bool receiving_ = false;
  int catchingUp_ = 0;
  // Held by whoever takes messages while lent, so that they are handed on in order.
  std::mutex readLock_;
  std::atomic<bool> lent_{false};
  CallbackProcessor* processor_ = nullptr;
};

}  // namespace IPC
