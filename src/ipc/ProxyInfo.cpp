// The proxy description's variant-map form, both directions.
#include "ipc/ProxyInfo.h"

namespace IPC {

KvVariantMap ProxyInfo::ToVariantMap() const {
  KvVariantMap value;
  value.Set("proxyId", proxyId);
  value.Set("uniqueId", uniqueId);
  value.Set("name", name);
  value.Set("functions", functions);
  KvVariantMap map;
  map.Set("type", "proxy");
  map.Set("value", value);
  return map;
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
