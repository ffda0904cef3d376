// The plug-in's end of a callback pipe: a thread that reads each callback message and
// hands it to the processor.
#pragma once

#include <chrono>
#include <cstdint>

#include "ipc/BaseMessageProcessor.h"
#include "ipc/ChannelWorker.h"
#include "transport/IPCInterface.h"

namespace IPC {

class CallbackReceiver {
 public:
  // Reads channel (already open) until Stop; processor may be null (each message is then
  // logged and dropped). Both must outlive the receiving.
  bool Start(IPCInterface& channel, CallbackProcessor* processor);
  void Stop() { worker_.Stop(); }
  bool IsRunning() const { return worker_.IsRunning(); }

 private:
  static constexpr uint32_t kReadTimeoutMs = 100;

  void Receive(IPCInterface& channel, CallbackProcessor* processor);

  ChannelWorker worker_;
};

}  // namespace IPC
