// The proxy reference's variant-map form, both directions.
#include "ipc/ProxyRef.h"

#include "ipc/ObjectType.h"

namespace IPC {

KvVariantMap ProxyRef::ToVariantMap() const {
  KvVariantMap map;
  map.Set("type", "proxyref");
  map.Set("value", proxyId);
  return map;
}

bool ProxyRef::FromVariantMap(const KvVariantMap& map) {
  if (GetObjectType(map) != ObjectType::ProxyRef || !map.Has("value")) {
    return false;
  }
  proxyId = map.GetInt("value");
  return proxyId > 0;
}

}  // namespace IPC
