// JavaScript values to variant maps (arguments) and back (results).
#include "bridge/ValueConversion.h"

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bridge/Errors.h"
#include "bridge/ScriptObject.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/ProxyRef.h"
#include "ipc/TableValue.h"
#include "variant/KvVariantMapImpl.h"

namespace Hostlink {
namespace {

// The single-precision 1e-6 widened to double: numbers closer than this to a whole
// number in the 32-bit range travel as that integer.
const double kFractionEpsilon = static_cast<double>(1e-6f);

// What one call's conversion has seen so far: the objects that enclose the value being
// converted, outermost first (their count is its nesting depth), and how many values it
// has converted, which bounds the work an object shared many times over can cause.
struct Walk {
  std::vector<Napi::Object> ancestors;
  size_t values = 0;

  // Past the bound the walk stops at once, so that its error is the one reported.
  bool Exhausted() const { return values > kMaxArgumentValues; }
};

// Where converted values go. A map that is being filled with names known to be new (the
// positions of the arguments, the property names of one object, which JavaScript never
// lists twice) takes each member appended, without the lookup of KvVariantMap::Set,
// so that n members cost O(n) rather than O(n^2). Any other map gets Set.
class MemberWriter {
 public:
  MemberWriter(IPC::KvVariantMap& map, bool namesAreNew) : map(map), namesAreNew(namesAreNew) {}

  void Set(const std::string& key, bool value) { Put(key, value, rapidjson::Value(value)); }
  void Set(const std::string& key, int64_t value) { Put(key, value, rapidjson::Value(value)); }
  void Set(const std::string& key, double value) { Put(key, value, rapidjson::Value(value)); }
  void Set(const std::string& key, const std::string& value) {
    if (!namesAreNew) {
      map.Set(key, value);
      return;
    }
    IPC::KvVariantMapImpl& impl = IPC::KvVariantMapImpl::Of(map);
    Append(key, impl.MakeString(value.data(), value.size()));
  }
  void Set(const std::string& key, const IPC::KvVariantMap& value) {
    if (!namesAreNew) {
      map.Set(key, value);
      return;
    }
    Append(key, IPC::KvVariantMapImpl::Of(map).CopyOf(value));
  }

 private:
  template <typename T>
  void Put(const std::string& key, T value, rapidjson::Value&& json) {
    if (namesAreNew) {
      Append(key, std::move(json));
    } else {
      map.Set(key, value);
    }
  }

  void Append(const std::string& key, rapidjson::Value&& value) {
    IPC::KvVariantMapImpl& impl = IPC::KvVariantMapImpl::Of(map);
    if (!impl.IsValid()) {
      return;
    }
    rapidjson::Value name = impl.MakeString(key.data(), key.size());
    impl.document.AddMember(name, value, impl.GetAllocator());
  }

  IPC::KvVariantMap& map;
  const bool namesAreNew;
};

void ConvertArgument(Napi::Env env, const std::string& key, Napi::Value value,
                     MemberWriter& target, const std::string& functionName,
                     Walk& walk);

bool IsAncestor(const Walk& walk, const Napi::Object& object) {
  for (const Napi::Object& ancestor : walk.ancestors) {
    if (ancestor.StrictEquals(object)) {
      return true;
    }
  }
  return false;
}

void ConvertObject(Napi::Env env, const std::string& key, Napi::Object object,
                   MemberWriter& target, const std::string& functionName,
                   Walk& walk) {
  if (IsAncestor(walk, object)) {
    ThrowJsError(env, functionName, "GetArgument - Circular reference detected for key:" + key);
    return;
  }
  if (static_cast<int>(walk.ancestors.size()) >= kMaxArgumentDepth) {
    ThrowJsError(env, functionName,
                 "GetArgument - Object nested deeper than 64 levels for key:" + key);
    return;
  }
  // Enumerable string-named properties, own and inherited, in Node-API's order.
  Napi::Array names = object.GetPropertyNames();
  uint32_t count = names.Length();
  if (count > 0) {
    IPC::TableValue table;
    MemberWriter members(table.value, true);
    walk.ancestors.push_back(object);
    for (uint32_t i = 0; i < count; ++i) {
      Napi::Value name = names.Get(i);
      Napi::Value member = object.Get(name);
      ConvertArgument(env, name.As<Napi::String>().Utf8Value(), member, members, functionName,
                      walk);
      if (walk.Exhausted()) {
        break;
      }
    }
    walk.ancestors.pop_back();
    target.Set(key, table.ToVariantMap());
    return;
  }
  if (ScriptObject* proxy = ScriptObject::FromValue(object)) {
    IPC::ProxyRef reference;
    reference.proxyId = proxy->GetProxyId();
    target.Set(key, reference.ToVariantMap());
    return;
  }
  ThrowJsError(env, functionName, "GetArgument - Unknown object type detected for key:" + key);
}

void ConvertArgument(Napi::Env env, const std::string& key, Napi::Value value,
                     MemberWriter& target, const std::string& functionName,
                     Walk& walk) {
  if (key.empty() || value.IsEmpty() || value.IsNull()) {
    ThrowJsError(env, functionName, "GetArgument - Invalid input key/value  (key:" + key + ")");
    return;
  }
  if (++walk.values == kMaxArgumentValues + 1) {
    ThrowJsError(env, functionName, "GetArgument - Too many values in the arguments at key:" + key);
    return;
  }
  switch (value.Type()) {
    case napi_boolean:
      target.Set(key, value.As<Napi::Boolean>().Value());
      return;
    case napi_number:
      if (IsFractional(env, value)) {
        target.Set(key, value.As<Napi::Number>().DoubleValue());
      } else {
        target.Set(key, value.As<Napi::Number>().Int64Value());
      }
      return;
    case napi_string:
      target.Set(key, value.As<Napi::String>().Utf8Value());
      return;
    case napi_object:
    case napi_function:
      ConvertObject(env, key, value.As<Napi::Object>(), target, functionName, walk);
      return;
    default:
      // undefined, symbol, bigint, external
      ThrowJsError(env, functionName,
                   "GetArgument - Unknown argument type detected for key:" + key);
      return;
  }
}

// Sets property name of object; "__proto__" is defined as an own data property, so a
// result member of that name stays data instead of replacing the object's prototype.
void SetResultProperty(Napi::Object object, const std::string& name, Napi::Value value) {
  const char* propertyName = name.c_str();  // up to the first zero byte
  if (std::string(propertyName) == "__proto__") {
    object.DefineProperty(
        Napi::PropertyDescriptor::Value(propertyName, value, napi_default_jsproperty));
    return;
  }
  object.Set(propertyName, value);
}

Napi::Value OrUndefined(Napi::Env env, Napi::Value value) {
  return value.IsEmpty() ? env.Undefined() : value;
}

// One member of a table's value map: its name, and the value a lookup of that name
// finds (the first member of that name, as with every keyed access).
struct TableMember {
  std::string name;
  const rapidjson::Value* value;
};

// The members of map in order. Walking the document once keeps a table of n members
// at O(n); looking each name up in turn would scan the map n times.
std::vector<TableMember> TableMembers(const IPC::KvVariantMap& map) {
  std::vector<TableMember> members;
  const rapidjson::Value& root = IPC::KvVariantMapImpl::Of(map).document;
  if (!root.IsObject()) {
    return members;
  }
  members.reserve(root.MemberCount());
  std::unordered_map<std::string, const rapidjson::Value*> firstByName;
  firstByName.reserve(root.MemberCount());
  for (const auto& member : root.GetObject()) {
    std::string name(member.name.GetString(), member.name.GetStringLength());
    const rapidjson::Value* value = firstByName.emplace(name, &member.value).first->second;
    members.push_back(TableMember{std::move(name), value});
  }
  return members;
}

// Parses one member through a map that holds just that member, so that it is read
// by exactly the typed access Parse uses, at the cost of one copy of its value.
Napi::Value ParseMember(Napi::Env env, const TableMember& member, const std::string& functionName) {
  IPC::KvVariantMap single;
  IPC::KvVariantMapImpl& impl = IPC::KvVariantMapImpl::Of(single);
  rapidjson::Value copy(*member.value, impl.GetAllocator());
  impl.Store(member.name, copy);
  return Parse(env, single, member.name, functionName);
}

}  // namespace

IPC::KvVariantMap GetArguments(const Napi::CallbackInfo& info, const std::string& functionName) {
  IPC::KvVariantMap args;
  MemberWriter writer(args, true);
  Walk walk;
  const size_t count = info.Length();
  for (size_t i = 0; i < count && !walk.Exhausted(); ++i) {
    ConvertArgument(info.Env(), std::to_string(i), info[i], writer, functionName, walk);
  }
  return args;
}

void GetArgument(Napi::Env env, const std::string& key, Napi::Value value, IPC::KvVariantMap& map,
                 const std::string& functionName) {
  MemberWriter writer(map, false);
  Walk walk;
  ConvertArgument(env, key, value, writer, functionName, walk);
}

bool IsFractional(Napi::Env env, Napi::Value value) {
  double d = 0.0;
  if (napi_get_value_double(env, value, &d) != napi_ok) {
    return false;
  }
  // Truncation toward zero to 32 bits; out of range and NaN give INT32_MIN.
  const double truncated = std::trunc(d);
  int32_t whole = INT32_MIN;
  if (truncated >= -2147483648.0 && truncated <= 2147483647.0) {
    whole = static_cast<int32_t>(truncated);
  }
  return std::fabs(d - static_cast<double>(whole)) > kFractionEpsilon;
}

Napi::Value Parse(Napi::Env env, const IPC::KvVariantMap& map, const std::string& key,
                  const std::string& functionName) {
  if (!map.Has(key)) {
    return Napi::Value();
  }
  if (map.IsBool(key)) {
    return Napi::Boolean::New(env, map.GetBool(key));
  }
  // Integers beyond 32 bits keep their value as numbers (exact up to 2^53).
  if (map.IsInt(key)) {
    return Napi::Number::New(env, map.GetInt(key));
  }
  if (map.IsInt64(key)) {
    return Napi::Number::New(env, static_cast<double>(map.GetInt64(key)));
  }
  if (map.IsUInt(key)) {
    return Napi::Number::New(env, map.GetUInt(key));
  }
  if (map.IsUInt64(key)) {
    return Napi::Number::New(env, static_cast<double>(map.GetUInt64(key)));
  }
  if (map.IsDouble(key)) {
    return Napi::Number::New(env, map.GetDouble(key));
  }
  if (map.IsString(key)) {
    return Napi::String::New(env, map.GetString(key));
  }
  if (map.IsMap(key)) {
    IPC::KvVariantMap member = map.GetMap(key);
    const IPC::ObjectType type = IPC::GetObjectType(member);
    if (type == IPC::ObjectType::Table) {
      return ParseTableObject(env, member, functionName);
    }
    if (type == IPC::ObjectType::Proxy) {
      return ParseProxyObject(env, member, functionName);
    }
    return ThrowJsError(env, functionName,
                        "Parse - Unknown object type detected for key:" + key +
                            " (type:" + std::to_string(static_cast<int32_t>(type)) + ")");
  }
  return ThrowJsError(env, functionName, "Parse - Unknown data type detected for key:" + key);
}

Napi::Value ParseTableObject(Napi::Env env, const IPC::KvVariantMap& map,
                             const std::string& functionName) {
  IPC::TableValue table;
  if (IPC::GetObjectType(map) != IPC::ObjectType::Table || !table.FromVariantMap(map)) {
    return ThrowJsError(env, functionName, "ParseTableObject - Failed to parse table object");
  }
  const std::vector<TableMember> members = TableMembers(table.value);
  if (table.isList) {
    Napi::Array list = Napi::Array::New(env, members.size());
    for (uint32_t i = 0; i < members.size(); ++i) {
      list.Set(i, OrUndefined(env, ParseMember(env, members[i], functionName)));
    }
    return list;
  }
  Napi::Object object = Napi::Object::New(env);
  for (const TableMember& member : members) {
    SetResultProperty(object, member.name, OrUndefined(env, ParseMember(env, member, functionName)));
  }
  return object;
}

Napi::Value ParseProxyObject(Napi::Env env, const IPC::KvVariantMap& map,
                             const std::string& functionName) {
  IPC::ProxyInfo info;
  if (IPC::GetObjectType(map) != IPC::ObjectType::Proxy || !info.FromVariantMap(map)) {
    return ThrowJsError(env, functionName, "ParseProxyObject - Failed to parse proxy object info");
  }
  if (info.proxyId < 1) {
    return ThrowJsError(env, functionName, "ParseProxyObject - Invalid proxyId");
  }
  if (info.name.empty()) {
    return ThrowJsError(env, functionName, "ParseProxyObject - proxy name is empty");
  }
  if (info.functions.empty()) {
    return ThrowJsError(env, functionName, "ParseProxyObject - function list is empty");
  }
  return CreateProxyObject(env, info.name, info.proxyId, info.uniqueId, info.functions);
}

}  // namespace Hostlink
