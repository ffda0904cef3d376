// Turns callback messages from the host into queued calls of the registered JavaScript
// functions (CallbackRegistry), with the callback's arguments.
#pragma once

#include <cstddef>
#include <string>

#include "ipc/BaseMessageProcessor.h"

namespace Hostlink {

class CallbackMessageProcessor : public IPC::BaseMessageProcessor {
 public:
  // More arguments than any callback takes; past it a message is refused, so that a host
  // cannot make one call of a few bytes per argument take the JavaScript stack.
  static constexpr size_t kMaxArguments = 256;

  // Runs on the callback worker: queues a call of the function registered under the
  // message's callback name, with its "args". Never blocks and never calls JavaScript.
  void ProcessCallbackMessage(const std::string& message) override;
};

}  // namespace Hostlink
