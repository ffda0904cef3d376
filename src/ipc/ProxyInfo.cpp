// The proxy description's variant-map form, both directions.
#include "ipc/ProxyInfo.h"

#include "ipc/WireCodec.h"
#include "ipc/WireValue.h"

namespace IPC {

KvVariantMap ProxyInfo::ToVariantMap() const {
  return WireCodec::ToMap(WireValue::Proxy(*this));  // written by the one wire encoder
}

bool ProxyInfo::FromVariantMap(const KvVariantMap& map) {
  if (!map.Has("value")) {
    return false;
  }
  const KvVariantMap value = map.GetMap("value");
  proxyId = value.GetInt("proxyId");
  uniqueId = value.GetString("uniqueId");
  name = value.GetString("name");
  functions = value.GetStringList("functions");
  return true;
}

}  // namespace IPC
