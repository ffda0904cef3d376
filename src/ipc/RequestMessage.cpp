// The request's wire text, written and read through the variant map.
#include "ipc/RequestMessage.h"

#include <chrono>
#include <utility>

#include "ipc/RequestIds.h"
#include "ipc/WireCodec.h"
#include "variant/JsonView.h"
#include "variant/KvVariantMapImpl.h"

namespace IPC {

RequestMessage::RequestMessage() : requestId(0), proxyId(-1) {}

RequestMessage::RequestMessage(std::string name, KvVariantMap args, int64_t proxyId)
    : requestId(NextRequestId()),
      name(std::move(name)),
      args(std::move(args)),
      proxyId(proxyId) {}

RequestMessage::RequestMessage(std::string name, const WireMembers& args, int64_t proxyId)
    : RequestMessage(std::move(name), KvVariantMap(), proxyId) {
  WireCodec::AppendMembers(args, this->args);
}

WireMembers RequestMessage::ArgumentValues() const {
  WireMembers members;
  WireCodec::DecodeMembers(JsonView::Of(args), members);
  return members;
}

std::string RequestMessage::ToJSONString() const {
  KvVariantMap head;
  if (requestId != 0) {
    head.Set("requestId", requestId);
  }
  if (!name.empty()) {
    head.Set("name", name);
  }
  // The compact text of {"request": {head..., "args": args, "proxyId": proxyId}}, put
  // together from the parts' own texts, so that the arguments are never copied.
  std::string text = "{\"request\":";
  head.AppendJSONString(text, true);
  text.pop_back();  // the head's closing brace
  bool first = head.IsEmpty();
  if (!args.IsEmpty()) {
    text += first ? "\"args\":" : ",\"args\":";
    args.AppendJSONString(text, true);
    first = false;
  }
  if (proxyId >= 0) {
    text += first ? "\"proxyId\":" : ",\"proxyId\":";
    text += std::to_string(proxyId);
  }
  text += "}}";
  return text;
}

bool RequestMessage::FromJSONString(const std::string& text) {
  KvVariantMap message(text);
  if (!message.IsMap("request")) {
    return false;
  }
  // The arguments, which may be most of the message, are taken out of the parsed
  // document before the body is copied, and then moved into args rather than copied.
  KvVariantMapImpl& parsed = KvVariantMapImpl::Of(message);
  rapidjson::Value* bodyValue = &parsed.document.FindMember("request")->value;
  if (bodyValue->IsArray()) {
    bodyValue = &*bodyValue->Begin();  // read as GetMap reads a list: its first element
  }
  rapidjson::Value argsValue;
  const auto argsMember = bodyValue->FindMember("args");
  const bool hasArgs = argsMember != bodyValue->MemberEnd();
  if (hasArgs) {
    argsValue = argsMember->value;  // moves; the body keeps a null in its place
  }
  const KvVariantMap body = message.GetMap("request");
  if (body.Has("requestId")) {
    requestId = body.GetUInt64("requestId");
  }
  if (body.Has("name")) {
    name = body.GetString("name");
  }
  if (hasArgs) {
    // As GetMap reads it: a list by its first element, an empty list as an empty map.
    rapidjson::Value* present = &argsValue;
    if (argsValue.IsArray()) {
      present = argsValue.Empty() ? nullptr : &*argsValue.Begin();
    }
    KvVariantMapImpl& own = KvVariantMapImpl::Of(args);
    own.SwapContent(parsed);
    rapidjson::Value root(rapidjson::kObjectType);
    if (present != nullptr) {
      root = *present;
    }
    static_cast<rapidjson::Value&>(own.document) = root;
  }
  if (body.Has("proxyId")) {
    proxyId = body.GetInt64("proxyId");
  }
  return true;
}

}  // namespace IPC
