// The callback receiver's loop.
#include "ipc/CallbackReceiver.h"

#include <thread>

#include "base/Log.h"
#include "base/Trace.h"

namespace IPC {

bool CallbackReceiver::Start(IPCInterface& channel, CallbackProcessor* processor) {
  return worker_.Start([this, &channel, processor] { Receive(channel, processor); });
}

void CallbackReceiver::Receive(IPCInterface& channel, CallbackProcessor* processor) {
  std::string message;
  while (!worker_.StopRequested()) {
    const auto turnEnd =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    if (!channel.Read(message, kReadTimeoutMs)) {
      // A read that gave up before its limit found the pipe gone and could not reopen it
      // (and logged so): the rest of the turn is waited out, so that a host that went away
      // is looked for ten times a second rather than a thousand.
      worker_.WaitUntil(turnEnd, [] { return false; });
      continue;
    }
    if (worker_.StopRequested()) {
      return;
    }
    if (TraceOn()) {
      TraceMessage(TraceDirection::Callback, channel.Name(), channel.LastReadSizes().compressed,
                   message, std::chrono::steady_clock::duration::zero());
    }
    if (processor != nullptr) {
      processor->ProcessCallbackMessage(message);
      // The processor has woken the thread that runs the callback; where it shares this
      // CPU, it runs now rather than after this thread has gone back to sleep in the pipe.
      std::this_thread::yield();
    } else {
      LogError("IPCHandler : Failed to process callback message, no processor available",
               channel.Name(), channel.GetMode());
    }
  }
}

}  // namespace IPC
