// The kind of a typed value inside a message, named by its "type" member.
#pragma once

#include <cstdint>

namespace IPC {

class KvVariantMap;

enum class ObjectType : int32_t {
  Unknown = -1,
  Table = 0,
  Proxy = 1,
  ProxyRef = 2,
};

// "table", "proxy" or "proxyref", compared exactly; anything else, a missing "type"
// included (which the map reports), is Unknown.
ObjectType GetObjectType(const KvVariantMap& map);

}  // namespace IPC
