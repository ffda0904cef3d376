// The proxy description's variant-map form, both directions.
#include "ipc/ProxyInfo.h"

#include "ipc/WireWriter.h"
#include "variant/JsonValueBuilder.h"

namespace IPC {

KvVariantMap ProxyInfo::ToVariantMap() const {
  KvVariantMap map;
  JsonValueBuilder build(map);
  WireWriter(build).Proxy(proxyId, uniqueId, name, functions, &features);  // the one writer of the form
  build.StoreAsRoot();
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
  // Optional: absent, or of another form, means none (and logs nothing).
  features = value.GetStringList("features", std::vector<std::string>());
  return true;
}

ProxyFault ValidateProxyInfo(const ProxyInfo& info) {
  if (info.proxyId < 1) {
    return ProxyFault::InvalidId;
  }
  if (info.name.empty()) {
    return ProxyFault::EmptyName;
  }
  if (info.functions.empty()) {
    return ProxyFault::NoFunctions;
  }
  return ProxyFault::None;
}

}  // namespace IPC
