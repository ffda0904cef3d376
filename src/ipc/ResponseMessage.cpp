// The response's wire text: written piece by piece, read through the variant map.
#include "ipc/ResponseMessage.h"

#include <charconv>
#include <utility>

#include "ipc/WireCodec.h"
#include "variant/EnvelopeSplit.h"
#include "variant/JsonTextBuilder.h"
#include "variant/JsonView.h"

namespace IPC {

namespace {

const char* const kResultKey = "result";

// Appends ",<members>": the compact text of a map's members without its braces.
void AppendMembersText(const KvVariantMap& map, std::string& text) {
  text += ',';
  const size_t start = text.size();
  map.AppendJSONString(text, true);
  text.erase(start, 1);  // the opening brace
  text.pop_back();       // the closing brace
}

}  // namespace

ResponseMessage::ResponseMessage()
    : status(false), requestId(kNoRequestId), errorCode(kNoErrorCode) {}

ResponseMessage ResponseMessage::Success() {
  ResponseMessage response;
  response.status = true;
  response.result.Set(kResultKey, true);
  return response;
}

ResponseMessage::ResponseMessage(uint64_t requestId, const std::string& resultText)
    : status(true), requestId(requestId), errorCode(kNoErrorCode) {
  result.Set(kResultKey, resultText);
}

ResponseMessage::ResponseMessage(uint64_t requestId, const KvVariantMap& resultMap)
    : status(true), requestId(requestId), errorCode(kNoErrorCode) {
  result.Set(kResultKey, resultMap);
}

ResponseMessage::ResponseMessage(uint64_t requestId, const WireValue& resultValue)
    : status(true), requestId(requestId), errorCode(kNoErrorCode) {
  WireCodec::Store(resultValue, kResultKey, result);
}

ResponseMessage::ResponseMessage(uint64_t requestId, const std::string& errorStr, int64_t errorCode)
    : status(false), requestId(requestId), errorStr(errorStr), errorCode(errorCode) {}

void ResponseMessage::OpenText(std::string& text, uint64_t requestId, bool status) {
  text += "{\"response\":{";
  if (requestId != 0) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, requestId);
    text += "\"requestId\":";
    text.append(digits, written.ptr);
    text += ',';
  }
  text += status ? "\"status\":true" : "\"status\":false";
}

void ResponseMessage::MemberText(std::string& text, std::string_view name) {
  text += ",\"";
  text += name;
  text += "\":";
}

void ResponseMessage::CloseText(std::string& text) { text += "}}"; }

std::string ResponseMessage::ToJSONString() const {
  // {"response": {head..., "result"..., "args"..., "error"...}}, with the result's own
  // text put in as it is, so that the result is never copied into another document.
  std::string text;
  OpenText(text, requestId, status);
  if (status && result.Has(kResultKey)) {
    const JsonView members = JsonView::Of(result);
    if (members.Size() == 1) {
      AppendMembersText(result, text);
    } else {
      KvVariantMap only;
      only.CopyKey(kResultKey, result);
      AppendMembersText(only, text);
    }
  }
  if (!args.empty()) {
    MemberText(text, "args");
    JsonTextBuilder sink(text);
    WireWriter out(sink);
    WireCodec::WriteMembers(args, out);
  }
  if (!status && !errorStr.empty()) {
    MemberText(text, "error");
    JsonTextBuilder error(text);
    error.StartObject();
    error.Key("errorStr");
    error.String(errorStr);
    if (errorCode != kNoErrorCode) {
      error.Key("errorCode");
      error.Int64(errorCode);
    }
    error.EndObject();
  }
  CloseText(text);
  return text;
}

bool ResponseMessage::FromJSONString(const std::string& text) {
  KvVariantMap message(text);
  // The result, which may be most of the message, is moved out of the parsed document
  // rather than copied.
  KvVariantMap body;
  KvVariantMap movedResult;
  bool hasResult = false;
  if (!SplitEnvelope(message, "response", kResultKey, BulkForm::Member, body, movedResult,
                     &hasResult)) {
    return false;
  }
  if (body.Has("requestId")) {
    requestId = body.GetUInt64("requestId");
  }
  if (body.Has("status")) {
    status = body.GetBool("status");
  }
  const JsonView argsValue = JsonView::Of(body).Find("args");
  if (argsValue.IsPresent()) {
    WireCodec::DecodeMembers(argsValue.Present(), args);
  }
  if (status) {
    // Whatever its JSON type; an earlier result is replaced.
    if (hasResult && result.IsValid()) {
      if (result.IsEmpty()) {
        result = std::move(movedResult);
      } else {
        result.CopyKey(kResultKey, movedResult);
      }
    }
  } else if (body.Has("error")) {
    const KvVariantMap error = body.GetMap("error");
    if (error.Has("errorStr")) {
      errorStr = error.GetString("errorStr");
    }
    if (error.Has("errorCode")) {
      errorCode = error.GetInt64("errorCode");
    }
  }
  return true;
}

WireValue ResponseMessage::ResultValue() const {
  const JsonView value = JsonView::Of(result).Find(kResultKey);
  return value.IsPresent() ? WireCodec::Decode(value) : WireValue();
}

std::string ResponseMessage::FormatError() const {
  std::string text;
  if (!errorStr.empty()) {
    text += " (errorStr:" + errorStr + ")";
  }
  if (errorCode != kNoErrorCode) {
    text += " (errorCode:" + std::to_string(errorCode) + ")";
  }
  return text;
}

}  // namespace IPC
