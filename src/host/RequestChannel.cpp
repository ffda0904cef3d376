// Writes of the host's request pipe.
#include "host/RequestChannel.h"

#include <utility>

namespace Host {

bool RequestChannel::Write(const std::string& message, uint32_t timeoutMs) {
  const bool sent = message.empty() || inner_->Write(message, timeoutMs);
  if (afterWrite_) {
    std::function<void()> action = std::move(afterWrite_);
    afterWrite_ = nullptr;
    action();
  }
  return sent;
}

}  // namespace Host
