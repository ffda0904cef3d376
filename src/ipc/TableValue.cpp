// The table's variant-map form, both directions.
#include "ipc/TableValue.h"

namespace IPC {

KvVariantMap TableValue::ToVariantMap() const {
  KvVariantMap map;
  map.Set("type", "table");
  map.Set("value", value);
  if (isList) {
    map.Set("isList", true);
  }
  return map;
}

bool TableValue::FromVariantMap(const KvVariantMap& map) {
  if (!map.Has("value")) {
    return false;
  }
  value = map.GetMap("value");
  isList = map.Has("isList") && map.GetBool("isList");
  return true;
}

}  // namespace IPC
