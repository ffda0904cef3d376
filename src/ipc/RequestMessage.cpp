// The request's wire text, written and read through the variant map.
#include "ipc/RequestMessage.h"

#include <chrono>
#include <utility>

namespace IPC {

namespace {

uint64_t NowInMilliseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace

RequestMessage::RequestMessage() : requestId(0), proxyId(-1) {}

RequestMessage::RequestMessage(std::string name, KvVariantMap args, int64_t proxyId)
    : requestId(NowInMilliseconds()),
      name(std::move(name)),
      args(std::move(args)),
      proxyId(proxyId) {}

std::string RequestMessage::ToJSONString() const {
  KvVariantMap body;
  if (requestId != 0) {
    body.Set("requestId", requestId);
  }
  if (!name.empty()) {
    body.Set("name", name);
  }
  if (!args.IsEmpty()) {
    body.Set("args", args);
  }
  if (proxyId >= 0) {
    body.Set("proxyId", proxyId);
  }
  // The compact text of {"request": body} is exactly this; wrapping the text spares a
  // deep copy of the body into an outer map.
  std::string text = "{\"request\":";
  body.AppendJSONString(text, true);
  text += '}';
  return text;
}

bool RequestMessage::FromJSONString(const std::string& text) {
  const KvVariantMap message(text);
  if (!message.IsMap("request")) {
    return false;
  }
  const KvVariantMap body = message.GetMap("request");
  if (body.Has("requestId")) {
    requestId = body.GetUInt64("requestId");
  }
  if (body.Has("name")) {
    name = body.GetString("name");
  }
  if (body.Has("args")) {
    args = body.GetMap("args");
  }
  if (body.Has("proxyId")) {
    proxyId = body.GetInt64("proxyId");
  }
  return true;
}

}  // namespace IPC
