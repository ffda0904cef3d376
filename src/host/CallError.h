// The exception a host function throws to fail with a text and a code of its choice.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/ErrorCode.h"

namespace Host {

// Caught by the dispatcher and sent as the failure's "errorStr" and "errorCode"; it
// never leaves the host library. Any other exception is sent as a CallFailed error.
class CallError : public std::runtime_error {
 public:
  explicit CallError(const std::string& text, int64_t code = ToInt(ErrorCode::CallFailed))
      : std::runtime_error(text), code_(code) {}
  CallError(const std::string& text, ErrorCode code) : CallError(text, ToInt(code)) {}

  int64_t GetCode() const { return code_; }

 private:
  int64_t code_;
};

}  // namespace Host
