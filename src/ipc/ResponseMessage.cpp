// The response's wire text, written and read through the variant map.
#include "ipc/ResponseMessage.h"

#include "ipc/WireCodec.h"
#include "variant/JsonView.h"
#include "variant/KvVariantMapImpl.h"

namespace IPC {

namespace {

const char* const kResultKey = "result";

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

std::string ResponseMessage::ToJSONString() const {
  KvVariantMap body;
  if (requestId != 0) {
    body.Set("requestId", requestId);
  }
  body.Set("status", status);
  if (status && result.Has(kResultKey)) {
    body.CopyKey(kResultKey, result);
  }
  if (!args.empty()) {
    WireCodec::StoreMembers(args, "args", body);
  }
  if (!status && !errorStr.empty()) {
    KvVariantMap error;
    error.Set("errorStr", errorStr);
    if (errorCode != kNoErrorCode) {
      error.Set("errorCode", errorCode);
    }
    body.Set("error", error);
  }
  // The compact text of {"response": body}, without copying the body into an outer map.
  std::string text = "{\"response\":";
  body.AppendJSONString(text, true);
  text += '}';
  return text;
}

bool ResponseMessage::FromJSONString(const std::string& text) {
  KvVariantMap message(text);
  if (!message.IsMap("response")) {
    return false;
  }
  // The result, which may be most of the message, is taken out of the parsed document
  // before the body is copied, and then moved into this message rather than copied.
  KvVariantMapImpl& parsed = KvVariantMapImpl::Of(message);
  rapidjson::Value* bodyValue = &parsed.document.FindMember("response")->value;
  if (bodyValue->IsArray()) {
    bodyValue = &*bodyValue->Begin();  // read as GetMap reads a list: its first element
  }
  rapidjson::Value resultValue;
  const auto resultMember = bodyValue->FindMember(kResultKey);
  const bool hasResult = resultMember != bodyValue->MemberEnd();
  if (hasResult) {
    resultValue = resultMember->value;  // moves; the body keeps a null in its place
  }
  const KvVariantMap body = message.GetMap("response");
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
    if (hasResult) {
      // Whatever its JSON type; an earlier result is replaced.
      TakeResult(parsed, resultValue);
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

void ResponseMessage::TakeResult(KvVariantMapImpl& parsed, rapidjson::Value& value) {
  KvVariantMapImpl& own = KvVariantMapImpl::Of(result);
  if (!own.IsValid()) {
    return;
  }
  if (!own.document.ObjectEmpty()) {
    rapidjson::Value copy(value, own.GetAllocator());
    own.StoreLast(kResultKey, copy);
    return;
  }
  // The result map takes the parsed document's pool, where the value lives, and becomes
  // {"result": value} without copying it.
  own.SwapContent(parsed);
  rapidjson::Value root(rapidjson::kObjectType);
  root.AddMember(rapidjson::StringRef(kResultKey), value, own.GetAllocator());
  static_cast<rapidjson::Value&>(own.document) = root;
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
