// What may stand before a HostService's own answers: it sees each request first, on the
// request thread, and answers it itself or passes it on. The reference host's control
// mode is one (it scripts answers for tests); a host application needs none.
#pragma once

#include <string>

#include "ipc/BaseMessageProcessor.h"

namespace Host {

class RequestFront {
 public:
  virtual ~RequestFront() = default;

  // Fills the answer to one request (it arrives cleared), for instance with
  // HostService::AnswerRequest; an answer left empty is not sent.
  virtual void Answer(const std::string& request, IPC::ServerAnswer& answer) = 0;
  // HostService::Stop is about to join the request thread: any wait in Answer must end.
  virtual void Stopping() {}
};

}  // namespace Host
