// What a host function gives back: a value (or nothing), or an error text and code.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "host/ErrorCode.h"
#include "host/Value.h"

namespace Host {

class Result {
 public:
  // Success without a result: the response carries no "result".
  Result() = default;
  // Success with a value; anything a Value is made from converts implicitly, so a
  // function may simply `return 42;`, `return "text";` or `return object;`.
  template <typename T, typename = std::enable_if_t<std::is_constructible<Value, T&&>::value &&
                                                    !std::is_same<std::decay_t<T>, Result>::value>>
  Result(T&& value) : value_(std::forward<T>(value)) {}

  static Result Error(std::string text, int64_t code = ToInt(ErrorCode::CallFailed)) {
    Result result;
    result.isError_ = true;
    result.errorText_ = std::move(text);
    result.errorCode_ = code;
    return result;
  }
  static Result Error(std::string text, ErrorCode code) {
    return Error(std::move(text), ToInt(code));
  }

  bool IsError() const { return isError_; }
  const Value& GetValue() const { return value_; }
  const std::string& GetErrorText() const { return errorText_; }
  int64_t GetErrorCode() const { return errorCode_; }

 private:
  Value value_;
  bool isError_ = false;
  std::string errorText_;
  int64_t errorCode_ = -1;
};

}  // namespace Host
