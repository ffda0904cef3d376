// The host's end of a request pipe: a thread that reads each request, asks the processor
// for the answer and writes it back, one request at a time.
#pragma once

#include <chrono>

#include "ipc/BaseMessageProcessor.h"
#include "ipc/ChannelWorker.h"
#include "transport/IPCInterface.h"

namespace IPC {

class RequestServer {
 public:
  // Serves channel (already open) until Stop. Without a processor every request is
  // answered with a plain success and a log line. Both must outlive the serving.
  bool Start(IPCInterface& channel, RequestProcessor* processor);
  void Stop() { worker_.Stop(); }
  bool IsRunning() const { return worker_.IsRunning(); }
  // For a processor that waits: true once Stop was asked for.
  bool StopRequested() const { return worker_.StopRequested(); }

 private:
  static constexpr uint32_t kReadTimeoutMs = 100;
  static constexpr uint32_t kWriteTimeoutMs = 300;

  void Serve(IPCInterface& channel, RequestProcessor* processor);
  // began: when the request was read (set only while tracing).
  // True when the answer went out. An empty answer is written (and refused by the
  // channel, with its line) when emptyToo, and skipped otherwise.
  bool Send(IPCInterface& channel, ServerAnswer& answer,
            std::chrono::steady_clock::time_point began, bool emptyToo = false);

  ChannelWorker worker_;
};

}  // namespace IPC
