// The plug-in's end of a callback pipe: a thread that reads each callback message and
// hands it to the processor.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "base/AdaptiveSpin.h"
#include "ipc/BaseMessageProcessor.h"
#include "ipc/ChannelWorker.h"
#include "transport/IPCInterface.h"

namespace IPC {

class CallbackReceiver {
 public:
  // Reads channel (already open) until Stop; processor may be null (each message is then
  // logged and dropped). Both must outlive the receiving.
  bool Start(IPCInterface& channel, CallbackProcessor* processor);
  void Stop();
  bool IsRunning() const { return worker_.IsRunning(); }

  // Any thread: returns once every message that had reached the channel when it was called
  // has been handed to the processor, so that what the host sent before an answer is handed
  // on before that answer is. Gives up after kCatchUpLimit (a receiver that cannot keep
  // up) or when the receiver stops.
  void CatchUp(IPCInterface& channel);

 private:
  static constexpr uint32_t kReadTimeoutMs = 100;
  static constexpr auto kCatchUpLimit = std::chrono::seconds(1);
  // A yield after a callback that kept this thread off its CPU longer than this found
  // other threads wanting the CPU (a busy machine): yielding is left off for a while.
  static constexpr auto kYieldCost = std::chrono::microseconds(200);

  void Receive(IPCInterface& channel, CallbackProcessor* processor);
  // Receiver thread: every message taken so far has been handed on.
  void HandedOn(IPCInterface& channel);

  ChannelWorker worker_;
  AdaptiveSpin yield_{kYieldCost};
  std::mutex handedLock_;
  std::condition_variable handedChanged_;
  uint64_t handedOn_ = 0;
  bool receiving_ = false;
  int catchingUp_ = 0;
};

}  // namespace IPC
