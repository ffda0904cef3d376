// The getters of every member, the nested maps and the typed values, with their agreements.
#include "MapWalker.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/ProxyRef.h"
#include "ipc/TableValue.h"

namespace Fuzz {

namespace {

using IPC::KvVariantMap;

// The list getters give one element per array element, or one for any other value.
template <typename List>
void CheckListSize(const List& list, bool isList, uint32_t size) {
  FUZZ_CHECK(list.size() == (isList ? size : 1u));
}

void WalkScalars(const KvVariantMap& map, const std::string& key) {
  FUZZ_CHECK(map.Has(key));

  const bool isBool = map.IsBool(key);
  const bool value = map.GetBool(key);
  FUZZ_CHECK(map.GetBool(key, !value) == value);
  FUZZ_CHECK(!value || isBool);
  FUZZ_CHECK(map.IsTrue(key) == (isBool && value));
  FUZZ_CHECK(map.IsFalse(key) == (isBool && !value));

  // The integer kinds nest: what fits 32 bits fits 64, and a floating number is none.
  const bool isInt = map.IsInt(key);
  const bool isUInt = map.IsUInt(key);
  const bool isInt64 = map.IsInt64(key);
  const bool isUInt64 = map.IsUInt64(key);
  const bool isDouble = map.IsDouble(key);
  FUZZ_CHECK(!isInt || isInt64);
  FUZZ_CHECK(!isUInt || (isUInt64 && isInt64));
  FUZZ_CHECK(!isDouble || (!isInt64 && !isUInt64));
  FUZZ_CHECK(!map.IsFloat(key) || isDouble);
  const int32_t i32 = map.GetInt(key);
  const uint32_t u32 = map.GetUInt(key);
  const int64_t i64 = map.GetInt64(key);
  const uint64_t u64 = map.GetUInt64(key);
  if (isInt) FUZZ_CHECK(i64 == i32);
  if (isUInt) FUZZ_CHECK(u64 == u32);
  if (isInt64 && isUInt64) FUZZ_CHECK(static_cast<uint64_t>(i64) == u64);
  if (!isInt) FUZZ_CHECK(i32 == 0);
  if (!isUInt64) FUZZ_CHECK(u64 == 0);
  FUZZ_CHECK(map.GetInt(key, 7) == i32);
  FUZZ_CHECK(map.GetUInt64(key, 7) == u64);

  const double d = map.GetDouble(key);
  if (isInt64) FUZZ_CHECK(d == static_cast<double>(i64));
  if (map.IsFloat(key)) FUZZ_CHECK(std::isfinite(map.GetFloat(key)));
  (void)map.GetFloat(key, 1.5f);
  (void)map.GetDouble(key, 1.5);
  (void)map.GetUInt(key, 7);
  (void)map.GetInt64(key, 7);

  // The string copy is the text the pointer shows, up to its first zero byte.
  const char* text = map.GetCString(key);
  FUZZ_CHECK(!map.IsString(key) || text != nullptr);
  FUZZ_CHECK(map.GetString(key) == (text != nullptr ? std::string(text) : std::string()));
  FUZZ_CHECK(map.GetString(key, "default") == map.GetString(key));
  FUZZ_CHECK(map.GetCString(key, "default") == text);
}

void WalkLists(const KvVariantMap& map, const std::string& key) {
  const bool isList = map.IsList(key);
  const uint32_t size = map.GetListSize(key);
  if (!isList) FUZZ_CHECK(size == 0);
  CheckListSize(map.GetBoolList(key), isList, size);
  CheckListSize(map.GetIntList(key), isList, size);
  CheckListSize(map.GetUIntList(key), isList, size);
  CheckListSize(map.GetInt64List(key), isList, size);
  CheckListSize(map.GetUInt64List(key), isList, size);
  CheckListSize(map.GetFloatList(key), isList, size);
  CheckListSize(map.GetDoubleList(key), isList, size);
  const std::vector<const char*> texts = map.GetCStringList(key);
  const std::vector<std::string> strings = map.GetStringList(key);
  CheckListSize(texts, isList, size);
  FUZZ_CHECK(strings.size() == texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    FUZZ_CHECK(strings[i] == (texts[i] != nullptr ? std::string(texts[i]) : std::string()));
  }
  CheckListSize(map.GetVariantMapList(key), isList, size);
  CheckListSize(map.GetIntList(key, {1, 2}), isList, size);
  CheckListSize(map.GetStringList(key, {"a"}), isList, size);
}

void WalkTypedValue(const KvVariantMap& map);
void Walk(const KvVariantMap& map, int depth);

void WalkMember(const KvVariantMap& map, const std::string& key, int depth) {
  WalkScalars(map, key);
  WalkLists(map, key);

  const std::shared_ptr<IPC::IVariantMap> shared = map.GetVariantMap(key);
  FUZZ_CHECK(shared != nullptr);
  if (map.IsMap(key)) {
    const KvVariantMap nested = map.GetMap(key);
    FUZZ_CHECK(nested.IsValid());
    FUZZ_CHECK(nested.ToJSONString(true) == shared->ToJSONString(true));
    WalkTypedValue(nested);
    Walk(nested, depth + 1);
  }
  // Element 0 of a list was walked above when it is a map; the others are walked here.
  if (map.IsList(key)) {
    const std::vector<KvVariantMap> elements = map.GetMapList(key);
    FUZZ_CHECK(elements.size() == map.GetListSize(key));
    for (size_t i = 1; i < elements.size(); ++i) {
      if (elements[i].IsValid()) Walk(elements[i], depth + 1);
    }
  }
}

// The readers of tables, proxy descriptions and proxy references, and the writers that
// must give back what was read.
void WalkTypedValue(const KvVariantMap& map) {
  const IPC::ObjectType type = IPC::GetObjectType(map);
  const bool hasValue = map.Has("value");

  IPC::TableValue table;
  FUZZ_CHECK(table.FromVariantMap(map) == hasValue);
  if (hasValue) {
    IPC::TableValue back;
    back.isList = !table.isList;
    FUZZ_CHECK(back.FromVariantMap(table.ToVariantMap()));
    FUZZ_CHECK(back.isList == table.isList);
    FUZZ_CHECK(back.value.ToJSONString(true) == table.value.ToJSONString(true));
  }

  IPC::ProxyInfo info;
  FUZZ_CHECK(info.FromVariantMap(map) == hasValue);
  if (hasValue) {
    // Read as 32 bits, so always within that range.
    FUZZ_CHECK(info.proxyId >= std::numeric_limits<int32_t>::min() &&
               info.proxyId <= std::numeric_limits<int32_t>::max());
    IPC::ProxyInfo back;
    FUZZ_CHECK(back.FromVariantMap(info.ToVariantMap()));
    FUZZ_CHECK(back.proxyId == info.proxyId);
    FUZZ_CHECK(back.uniqueId == info.uniqueId);
    FUZZ_CHECK(back.name == info.name);
    FUZZ_CHECK(back.functions == info.functions);
  }

  IPC::ProxyRef reference;
  const bool isReference = reference.FromVariantMap(map);
  FUZZ_CHECK(!isReference || type == IPC::ObjectType::ProxyRef);
  if (type == IPC::ObjectType::ProxyRef && hasValue) {
    FUZZ_CHECK(isReference == (map.GetInt("value") > 0));
  }
  if (isReference) {
    FUZZ_CHECK(reference.proxyId > 0 && reference.proxyId <= std::numeric_limits<int32_t>::max());
    IPC::ProxyRef back;
    FUZZ_CHECK(back.FromVariantMap(reference.ToVariantMap()));
    FUZZ_CHECK(back.proxyId == reference.proxyId);
  }
}

void Walk(const KvVariantMap& map, int depth) {
  // Deeper text is refused by the parser's guard; this only bounds the walk's own stack.
  if (depth > 600) return;
  const std::vector<std::string> keys = map.GetKeys();
  FUZZ_CHECK(map.IsEmpty() == keys.empty());
  for (const std::string& key : keys) WalkMember(map, key, depth);

  // A key that is not there: the zero values, and the defaults where given.
  const std::string missing = "\x01missing";
  FUZZ_CHECK(!map.Has(missing));
  FUZZ_CHECK(map.GetInt(missing) == 0 && map.GetInt(missing, 7) == 7);
  FUZZ_CHECK(map.GetString(missing).empty() && map.GetCString(missing) == nullptr);
  FUZZ_CHECK(map.GetVariantMap(missing) == nullptr);
  FUZZ_CHECK(!map.IsMap(missing) && !map.IsList(missing) && !map.IsBool(missing));
}

}  // namespace

void WalkMap(const KvVariantMap& map) {
  if (!map.IsValid()) {
    FUZZ_CHECK(map.GetKeys().empty());
    FUZZ_CHECK(map.ToJSONString(true).empty());
    return;
  }
  WalkTypedValue(map);
  Walk(map, 0);
}

}  // namespace Fuzz
