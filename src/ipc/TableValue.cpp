// The table's variant-map form, both directions.
#include "ipc/TableValue.h"

#include "ipc/WireWriter.h"
#include "variant/JsonValueBuilder.h"
#include "variant/JsonView.h"

namespace IPC {

KvVariantMap TableValue::ToVariantMap() const {
  // The form is the wire writer's; the members are copied as they are, since a table's
  // value may hold any JSON.
  KvVariantMap map;
  JsonValueBuilder build(map);
  WireWriter out(build);
  out.StartTable();
  const JsonView members = JsonView::Of(value);
  for (uint32_t i = 0; i < members.Size(); ++i) {
    out.Member(members.MemberName(i));
    build.Copy(members.MemberValue(i));
  }
  out.EndTable(isList);
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
