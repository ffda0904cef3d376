// Recognises a typed value by its "type" member.
#include "ipc/ObjectType.h"

#include "variant/KvVariantMap.h"

namespace IPC {

ObjectType GetObjectType(const KvVariantMap& map) {
  const std::string type = map.GetString("type");
  if (type == "table") {
    return ObjectType::Table;
  }
  if (type == "proxy") {
    return ObjectType::Proxy;
  }
  if (type == "proxyref") {
    return ObjectType::ProxyRef;
  }
  return ObjectType::Unknown;
}

}  // namespace IPC
