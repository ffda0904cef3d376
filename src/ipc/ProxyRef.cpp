// The proxy reference's variant-map form, both directions.
#include "ipc/ProxyRef.h"

#include "ipc/ObjectType.h"
#include "ipc/WireWriter.h"
#include "variant/JsonValueBuilder.h"

namespace IPC {

KvVariantMap ProxyRef::ToVariantMap() const {
  KvVariantMap map;
  JsonValueBuilder build(map);
  WireWriter(build).Reference(proxyId);  // the one writer of the form
  build.StoreAsRoot();
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
