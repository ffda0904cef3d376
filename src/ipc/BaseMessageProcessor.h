// The interface of the objects an IPCHandler hands its incoming messages to.
#pragma once

#include <string>

namespace IPC {

// Both operations do nothing here; a processor overrides the one its handler's mode
// uses (requests for the serving end, callback messages for the receiving end).
class BaseMessageProcessor {
 public:
  virtual ~BaseMessageProcessor() = default;

  // Answers one request; a response left empty is not sent.
  virtual void ProcessRequest(const std::string& /*request*/, std::string& /*response*/) {}
  // Handles one callback message; nothing is sent back.
  virtual void ProcessCallbackMessage(const std::string& /*message*/) {}
};

}  // namespace IPC
