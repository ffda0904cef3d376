// The table's variant-map form, both directions.
#include "ipc/TableValue.h"

#include "ipc/WireWriter.h"
#include "variant/JsonValueBuilder.h"
#include "variant/JsonView.h"

namespace IPC {

KvVariantMap TableValue::ToVariantMap() const {
  // The form is the wire writer's; the value is copied as it is, since a table read from
  // a peer may hold any JSON there, even no map at all.
  KvVariantMap map;
  JsonValueBuilder build(map);
  WireWriter out(build);
  out.TableHead();
  build.Copy(JsonView::Of(value));
  out.TableTail(isList);
  build.StoreAsRoot();
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
