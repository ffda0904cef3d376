// A reference to a host object, passed back to the host as an argument.
#pragma once

#include <cstdint>

#include "variant/KvVariantMap.h"

namespace IPC {

struct ProxyRef {
  // {"type":"proxyref","value":proxyId}
  KvVariantMap ToVariantMap() const;
  // Needs type "proxyref" and a "value" read as 32-bit; succeeds only for identifiers
  // above 0.
  bool FromVariantMap(const KvVariantMap& map);

  int64_t proxyId = -1;
};

}  // namespace IPC
