// JavaScript values to variant maps (arguments) and back (results).
#include "bridge/ValueConversion.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
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

void ConvertArgument(Napi::Env env, const std::string& key, Napi::Value value, MemberWriter& target,
                     const std::string& functionName, Walk& walk);

bool IsAncestor(const Walk& walk, const Napi::Object& object) {
  for (const Napi::Object& ancestor : walk.ancestors) {
    if (ancestor.StrictEquals(object)) {
      return true;
    }
  }
  return false;
}

void ConvertObject(Napi::Env env, const std::string& key, Napi::Object object, MemberWriter& target,
                   const std::string& functionName, Walk& walk) {
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

void ConvertArgument(Napi::Env env, const std::string& key, Napi::Value value, MemberWriter& target,
                     const std::string& functionName, Walk& walk) {
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

using Json = rapidjson::Value;

// What a keyed read of a variant map sees of a member: the value itself, or for a list
// its first element (nothing for an empty list).
const Json* Present(const Json& value) {
  if (value.IsArray()) {
    return value.Empty() ? nullptr : &*value.Begin();
  }
  return &value;
}

// The first member named name, as every keyed read of a variant map finds it.
const Json* FirstMember(const Json& object, const char* name) {
  const auto member = object.FindMember(name);
  return member == object.MemberEnd() ? nullptr : &member->value;
}

// For each member of a table, the value a lookup of its name gives: its own, unless an
// earlier member has the same name. Small tables are searched, large ones hashed, so a
// table of n members costs O(n).
class FirstByName {
 public:
  explicit FirstByName(const Json& object) : object_(object) {
    if (object.MemberCount() > kSearchLimit) {
      hashed_.reserve(object.MemberCount());
      for (const auto& member : object.GetObject()) {
        hashed_.emplace(NameOf(member), &member.value);
      }
    }
  }
  const Json& ValueOf(const Json::Member& member) const {
    if (!hashed_.empty()) {
      return *hashed_.find(NameOf(member))->second;
    }
    for (const auto& earlier : object_.GetObject()) {
      if (NameOf(earlier) == NameOf(member)) {
        return earlier.value;
      }
    }
    return member.value;
  }

 private:
  static constexpr rapidjson::SizeType kSearchLimit = 16;
  static std::string_view NameOf(const Json::Member& member) {
    return std::string_view(member.name.GetString(), member.name.GetStringLength());
  }
  const Json& object_;
  std::unordered_map<std::string_view, const Json*> hashed_;
};

Napi::Value ParseValue(Napi::Env env, const Json& value, const std::string& key,
                       const std::string& functionName);

// A table typed value, read in place: "value" as GetMap reads it, "isList" as GetBool.
Napi::Value ParseTable(Napi::Env env, const Json& table, const std::string& functionName) {
  const Json* value = FirstMember(table, "value");
  if (value == nullptr) {
    return ThrowJsError(env, functionName, "ParseTableObject - Failed to parse table object");
  }
  const Json* isList = FirstMember(table, "isList");
  const Json* isListValue = isList != nullptr ? Present(*isList) : nullptr;
  const bool list = isListValue != nullptr && isListValue->IsBool() && isListValue->GetBool();
  // A value that is not an object holds no members.
  const Json* members = Present(*value);
  const rapidjson::SizeType count =
      members != nullptr && members->IsObject() ? members->MemberCount() : 0;
  if (list) {
    Napi::Array array = Napi::Array::New(env, count);
    if (count > 0) {
      const FirstByName lookup(*members);
      uint32_t i = 0;
      for (const auto& member : members->GetObject()) {
        const std::string name(member.name.GetString(), member.name.GetStringLength());
        array.Set(i++,
                  OrUndefined(env, ParseValue(env, lookup.ValueOf(member), name, functionName)));
      }
    }
    return array;
  }
  Napi::Object object = Napi::Object::New(env);
  if (count > 0) {
    const FirstByName lookup(*members);
    for (const auto& member : members->GetObject()) {
      const std::string name(member.name.GetString(), member.name.GetStringLength());
      SetResultProperty(
          object, name,
          OrUndefined(env, ParseValue(env, lookup.ValueOf(member), name, functionName)));
    }
  }
  return object;
}

// One value, read with the typed access of the variant map (a list by its first element),
// straight from the response's document.
Napi::Value ParseValue(Napi::Env env, const Json& value, const std::string& key,
                       const std::string& functionName) {
  const Json* present = Present(value);
  if (present != nullptr) {
    const Json& v = *present;
    if (v.IsBool()) {
      return Napi::Boolean::New(env, v.GetBool());
    }
    // Integers beyond 32 bits keep their value as numbers (exact up to 2^53).
    if (v.IsInt()) {
      return Napi::Number::New(env, v.GetInt());
    }
    if (v.IsInt64()) {
      return Napi::Number::New(env, static_cast<double>(v.GetInt64()));
    }
    if (v.IsUint()) {
      return Napi::Number::New(env, v.GetUint());
    }
    if (v.IsUint64()) {
      return Napi::Number::New(env, static_cast<double>(v.GetUint64()));
    }
    if (v.IsDouble()) {
      return Napi::Number::New(env, v.GetDouble());
    }
    if (v.IsString()) {
      return Napi::String::New(env, v.GetString());  // up to the first zero byte
    }
    if (v.IsObject()) {
      const Json* type = FirstMember(v, "type");
      const Json* typeText = type != nullptr ? Present(*type) : nullptr;
      if (typeText != nullptr && typeText->IsString() &&
          std::strcmp(typeText->GetString(), "table") == 0) {
        return ParseTable(env, v, functionName);
      }
      // Proxies, and objects of no known type with their log line, read as a map.
      IPC::KvVariantMap member;
      IPC::KvVariantMapImpl& impl = IPC::KvVariantMapImpl::Of(member);
      impl.document.CopyFrom(v, impl.GetAllocator());
      const IPC::ObjectType objectType = IPC::GetObjectType(member);
      if (objectType == IPC::ObjectType::Proxy) {
        return ParseProxyObject(env, member, functionName);
      }
      return ThrowJsError(env, functionName,
                          "Parse - Unknown object type detected for key:" + key +
                              " (type:" + std::to_string(static_cast<int32_t>(objectType)) + ")");
    }
  }
  return ThrowJsError(env, functionName, "Parse - Unknown data type detected for key:" + key);
}

}  // namespace

IPC::KvVariantMap GetArguments(const Napi::CallbackInfo& info, const std::string& functionName,
                               bool* tooLarge) {
  IPC::KvVariantMap args;
  MemberWriter writer(args, true);
  Walk walk;
  const size_t count = info.Length();
  for (size_t i = 0; i < count && !walk.Exhausted(); ++i) {
    ConvertArgument(info.Env(), std::to_string(i), info[i], writer, functionName, walk);
  }
  if (tooLarge != nullptr) {
    *tooLarge = walk.Exhausted();
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
  const Json* value = IPC::KvVariantMapImpl::Of(map).Find(key);
  if (value == nullptr) {
    return Napi::Value();
  }
  return ParseValue(env, *value, key, functionName);
}

Napi::Value ParseTableObject(Napi::Env env, const IPC::KvVariantMap& map,
                             const std::string& functionName) {
  if (IPC::GetObjectType(map) != IPC::ObjectType::Table) {
    return ThrowJsError(env, functionName, "ParseTableObject - Failed to parse table object");
  }
  return ParseTable(env, IPC::KvVariantMapImpl::Of(map).document, functionName);
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
