// Writes of the host's request pipe.
#include "host/RequestChannel.h"

#include <utility>

namespace Host {

bool RequestChannel::Write(const std::string& message, uint32_t timeoutMs) {
  bool sent = true;
  if (!nextStream_.empty()) {
    sent = inner_->WriteCompressed(nextStream_, timeoutMs);
    std::string().swap(nextStream_);  // a large answer's buffer is not kept
  } else if (!message.empty()) {
    sent = inner_->Write(message, timeoutMs);
  }
  if (afterWrite_) {
    std::function<void()> action = std::move(afterWrite_);
    afterWrite_ = nullptr;
    action();
  }
  return sent;
}

}  // namespace Host
