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

}  // namespace IPC
