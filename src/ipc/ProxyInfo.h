// The description of a host object: its identifiers, its kind and its callable functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "variant/KvVariantMap.h"

namespace IPC {

struct ProxyInfo {
  // {"type":"proxy","value":{"proxyId":..,"uniqueId":..,"name":..,"functions":[..]}}
  KvVariantMap ToVariantMap() const;
  // Needs a "value" member. The identifier is read as 32-bit; nothing is validated
  // here (callers reject identifiers below 1, empty names and empty function lists).
  bool FromVariantMap(const KvVariantMap& map);

  int64_t proxyId = -1;
  std::string uniqueId;
  std::string name;
  std::vector<std::string> functions;
};

}  // namespace IPC
