// The description of a host object: its identifiers, its kind and its callable functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "variant/KvVariantMap.h"

namespace IPC {

struct ProxyInfo {
  // {"type":"proxy","value":{"proxyId":..,"uniqueId":..,"name":..,"functions":[..]}},
  // and "features":[..] when there are any.
  KvVariantMap ToVariantMap() const;
  // Needs a "value" member. The identifier is read as 32-bit; nothing is validated
  // here (callers reject identifiers below 1, empty names and empty function lists).
  bool FromVariantMap(const KvVariantMap& map);

  int64_t proxyId = -1;
  std::string uniqueId;
  std::string name;
  std::vector<std::string> functions;
  // What a host announces in its root object's description ("release": it takes the
  // plug-in's "ReleaseObjects" requests); empty elsewhere. Unknown members are ignored.
  std::vector<std::string> features;
};

// What makes a description unusable for a proxy object, checked before one is made for it
// (by the plug-in, and by the checker as the plug-in would). Callers word each fault.
enum class ProxyFault {
  None,
  InvalidId,    // proxyId below 1
  EmptyName,    // no kind name, so no class to make
  NoFunctions,  // a proxy with nothing to call
};

ProxyFault ValidateProxyInfo(const ProxyInfo& info);

}  // namespace IPC
