// The proxy reference's variant-map form, both directions.
#include "ipc/ProxyRef.h"

#include "ipc/ObjectType.h"
#include "ipc/WireCodec.h"
#include "ipc/WireValue.h"

namespace IPC {

KvVariantMap ProxyRef::ToVariantMap() const {
  return WireCodec::ToMap(WireValue::Reference(proxyId));  // written by the one wire encoder
}

bool ProxyRef::FromVariantMap(const KvVariantMap& map) {
  if (GetObjectType(map) != ObjectType::ProxyRef || !map.Has("value")) {
    return false;
  }
  proxyId = map.GetInt("value");
  return proxyId > 0;
}

}  // namespace IPC
