// A request: the operation's name, its arguments and the host object it addresses.
#pragma once

#include <cstdint>
#include <string>

#include "ipc/Message.h"
#include "ipc/WireValue.h"
#include "variant/KvVariantMap.h"

namespace IPC {

class RequestMessage final : public Message {
 public:
  // No identifier (0), no name, no arguments, no proxy (-1).
  RequestMessage();
  // Stamped with the current time in milliseconds since 1970 as its identifier, so two
  // requests built within one millisecond share it. proxyId -1 addresses no object.
  // Name and arguments are taken by value: pass them with std::move to avoid a copy.
  RequestMessage(std::string name, KvVariantMap args, int64_t proxyId);
  // The same, with the arguments as wire values (keyed "0", "1", ... for a call).
  RequestMessage(std::string name, const WireMembers& args, int64_t proxyId);

  // The arguments as wire values, read in one pass.
  WireMembers ArgumentValues() const;

  // {"request":{...}}, leaving out every field that holds its value for none.
  std::string ToJSONString() const override;
  bool FromJSONString(const std::string& text) override;

  uint64_t requestId;
  std::string name;
  KvVariantMap args;
  int64_t proxyId;
};

}  // namespace IPC
