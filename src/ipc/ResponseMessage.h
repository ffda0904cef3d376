// A response: a success flag with a result, or an error text and code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ipc/Message.h"
#include "ipc/WireValue.h"
#include "variant/KvVariantMap.h"

namespace IPC {

class ResponseMessage final : public Message {
 public:
  static constexpr uint64_t kNoRequestId = UINT64_MAX;
  static constexpr int64_t kNoErrorCode = -1;

  // A failure with nothing set: the form responses are read into.
  ResponseMessage();
  // Success with the result true and no identifier: what a serving end without a
  // processor answers.
  static ResponseMessage Success();
  // Success whose result is the text.
  ResponseMessage(uint64_t requestId, const std::string& resultText);
  // Success whose result is a copy of the map.
  ResponseMessage(uint64_t requestId, const KvVariantMap& resultMap);
  // Success whose result is the wire value (a None value: no result).
  ResponseMessage(uint64_t requestId, const WireValue& resultValue);
  // Failure with the host's error text and code.
  ResponseMessage(uint64_t requestId, const std::string& errorStr, int64_t errorCode);

  // {"response":{...}}: "result" only on success, "error" only on failure with a text.
  std::string ToJSONString() const override;
  bool FromJSONString(const std::string& text) override;

  // The text written piece by piece, for a writer that streams a value into it:
  // OpenText ({"response":{ and the head), MemberText (,"name": before each member's
  // value, in the order ToJSONString writes them), then CloseText.
  static void OpenText(std::string& text, uint64_t requestId, bool status);
  static void MemberText(std::string& text, std::string_view name);
  static void CloseText(std::string& text);

  // " (errorStr:x)" and/or " (errorCode:n)" for the parts that are set; else empty.
  std::string FormatError() const;

  // The result as a wire value, read in one pass; None when there is no result.
  WireValue ResultValue() const;

  bool status;
  uint64_t requestId;
  // Empty, or holding the single member "result".
  KvVariantMap result;
  std::string errorStr;
  int64_t errorCode;
  // A callback's arguments ("args", written after "result" when there are any): the
  // same form as a request's arguments, keyed "0", "1", ...
  WireMembers args;
};

}  // namespace IPC
