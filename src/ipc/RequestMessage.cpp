// The request's wire text, written and read through the variant map.
#include "ipc/RequestMessage.h"

#include <utility>

#include "ipc/RequestIds.h"
#include "ipc/WireCodec.h"
#include "variant/EnvelopeSplit.h"
#include "variant/JsonView.h"

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
  // The arguments, which may be most of the message, are moved out of the parsed
  // document rather than copied.
  KvVariantMap body;
  KvVariantMap movedArgs;
  bool hasArgs = false;
  if (!SplitEnvelope(message, "request", "args", BulkForm::PresentAsRoot, body, movedArgs,
                     &hasArgs)) {
    return false;
  }
  if (body.Has("requestId")) {
    requestId = body.GetUInt64("requestId");
  }
  if (body.Has("name")) {
    name = body.GetString("name");
  }
  if (hasArgs) {
    args = std::move(movedArgs);
  }
  if (body.Has("proxyId")) {
    proxyId = body.GetInt64("proxyId");
  }
  return true;
}

}  // namespace IPC
