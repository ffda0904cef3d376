// A table: a map of values, or a list when isList is set (member order is list order).
#pragma once

#include "variant/KvVariantMap.h"

namespace IPC {

struct TableValue {
  // {"type":"table","value":{...}}, plus "isList":true for a list only.
  KvVariantMap ToVariantMap() const;
  // Needs a "value" member; does not look at "type" (callers check GetObjectType).
  bool FromVariantMap(const KvVariantMap& map);

  bool isList = false;
  KvVariantMap value;
};

}  // namespace IPC
