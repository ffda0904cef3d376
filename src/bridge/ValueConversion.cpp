// JavaScript values to wire values (arguments) and back (results, callback arguments).
#include "bridge/ValueConversion.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "bridge/Errors.h"
#include "bridge/ProxyClassCache.h"
#include "bridge/ScriptObject.h"
#include "ipc/PlainResult.h"
#include "ipc/ProxyInfo.h"
#include "ipc/ResponseMessage.h"
#include "ipc/WireCodec.h"
#include "variant/JsonView.h"

namespace Hostlink {
namespace {

// The plain text of a result is written into one buffer per environment, kept between
// calls up to this size.
constexpr size_t kKeptPlainTextBytes = 1u << 20;

// The JavaScript values JSON.parse builds from the plain text write() appends to the
// environment's kept buffer; empty when write() declines or the engine's JSON.parse is
// not at hand (then no exception is left pending).
template <typename WritePlain>
Napi::Value ParsePlainText(Napi::Env env, WritePlain write) {
  ProxyClassCache* cache = ProxyClassCache::Of(env);
  if (cache == nullptr || cache->JsonParse().IsEmpty()) return Napi::Value();
  std::string& plain = cache->PlainTextBuffer();
  plain.clear();
  bool asciiOnly = false;
  if (!write(plain, &asciiOnly)) return Napi::Value();
  napi_value text = nullptr;
  napi_value built = nullptr;
  // Text with no byte past 0x7F is the same in Latin-1, which needs no decoding.
  const napi_status made = asciiOnly
                               ? napi_create_string_latin1(env, plain.data(), plain.size(), &text)
                               : napi_create_string_utf8(env, plain.data(), plain.size(), &text);
  const bool ok = made == napi_ok && napi_call_function(env, env.Undefined(), cache->JsonParse(), 1,
                                                        &text, &built) == napi_ok;
  if (plain.capacity() > kKeptPlainTextBytes) std::string().swap(plain);
  if (ok) return Napi::Value(env, built);
  napi_value ignored = nullptr;
  napi_get_and_clear_last_exception(env, &ignored);
  return Napi::Value();
}

// The single-precision 1e-6 widened to double: numbers closer than this to a whole
// number in the 32-bit range travel as that integer.
const double kFractionEpsilon = static_cast<double>(1e-6f);

// What one call's conversion has seen so far: the objects that enclose the value being
// converted, outermost first (their count is its nesting depth), and how many values it
// has converted, which bounds the work an object shared many times over can cause.
struct Walk {
  std::vector<Napi::Object> ancestors;
  size_t values = 0;
  bool failed = false;

  // Past the bound the walk stops at once, so that its error is the one reported.
  bool Exhausted() const { return values > kMaxArgumentValues; }
};

bool ConvertArgument(Napi::Env env, const std::string& key, Napi::Value value, IPC::WireValue& out,
                     const std::string& functionName, Walk& walk);

bool Refuse(Napi::Env env, const std::string& functionName, const std::string& text, Walk& walk) {
  if (!walk.failed) {
    ThrowJsError(env, functionName, text);
  }
  walk.failed = true;
  return false;
}

bool IsAncestor(const Walk& walk, const Napi::Object& object) {
  for (const Napi::Object& ancestor : walk.ancestors) {
    if (ancestor.StrictEquals(object)) {
      return true;
    }
  }
  return false;
}

// Binary buffers and keyed collections have no table form; they are refused before any
// of their contents is looked at, however large they are.
bool IsUnconvertible(Napi::Env env, Napi::Object object) {
  bool is = false;
  if ((napi_is_typedarray(env, object, &is) == napi_ok && is) ||
      (napi_is_arraybuffer(env, object, &is) == napi_ok && is) ||
      (napi_is_dataview(env, object, &is) == napi_ok && is)) {
    return true;
  }
  for (const char* collection : {"Map", "Set", "WeakMap", "WeakSet"}) {
    Napi::Value constructor = env.Global().Get(collection);
    if (constructor.IsFunction() && object.InstanceOf(constructor.As<Napi::Function>())) {
      return true;
    }
  }
  return false;
}

bool ConvertObject(Napi::Env env, const std::string& key, Napi::Object object, IPC::WireValue& out,
                   const std::string& functionName, Walk& walk) {
  if (IsAncestor(walk, object)) {
    return Refuse(env, functionName, "GetArgument - Circular reference detected for key:" + key,
                  walk);
  }
  if (static_cast<int>(walk.ancestors.size()) >= kMaxArgumentDepth) {
    return Refuse(env, functionName,
                  "GetArgument - Object nested deeper than 64 levels for key:" + key, walk);
  }
  if (object.IsArray() &&
      object.As<Napi::Array>().Length() > kMaxArgumentValues - walk.values + 1) {
    walk.values = kMaxArgumentValues + 1;
    return Refuse(env, functionName, "GetArgument - Too many values in the arguments at key:" + key,
                  walk);
  }
  if (!object.IsArray() && IsUnconvertible(env, object)) {
    return Refuse(env, functionName, "GetArgument - Unknown object type detected for key:" + key,
                  walk);
  }
  // Enumerable string-named properties, own and inherited, in Node-API's order.
  Napi::Array names = object.GetPropertyNames();
  const uint32_t count = names.Length();
  if (count > 0) {
    IPC::WireValue table = IPC::WireValue::Table({}, false);
    IPC::WireMembers& members = table.Members();
    members.reserve(count);
    walk.ancestors.push_back(object);
    for (uint32_t i = 0; i < count; ++i) {
      Napi::Value name = names.Get(i);
      std::string memberKey = name.As<Napi::String>().Utf8Value();
      IPC::WireValue member;
      const bool converted =
          ConvertArgument(env, memberKey, object.Get(name), member, functionName, walk);
      if (walk.Exhausted() || walk.failed) {
        break;
      }
      if (converted) {
        members.emplace_back(std::move(memberKey), std::move(member));
      }
    }
    walk.ancestors.pop_back();
    out = std::move(table);
    return !walk.failed;
  }
  if (ScriptObject* proxy = ScriptObject::FromValue(object)) {
    out = IPC::WireValue::Reference(proxy->GetProxyId());
    return true;
  }
  return Refuse(env, functionName, "GetArgument - Unknown object type detected for key:" + key,
                walk);
}

bool ConvertArgument(Napi::Env env, const std::string& key, Napi::Value value, IPC::WireValue& out,
                     const std::string& functionName, Walk& walk) {
  if (key.empty() || value.IsEmpty() || value.IsNull()) {
    return Refuse(env, functionName, "GetArgument - Invalid input key/value  (key:" + key + ")",
                  walk);
  }
  if (++walk.values == kMaxArgumentValues + 1) {
    return Refuse(env, functionName, "GetArgument - Too many values in the arguments at key:" + key,
                  walk);
  }
  switch (value.Type()) {
    case napi_boolean:
      out = IPC::WireValue::Bool(value.As<Napi::Boolean>().Value());
      return true;
    case napi_number: {
      const double number = value.As<Napi::Number>().DoubleValue();
      if (!std::isfinite(number)) {
        return Refuse(env, functionName,
                      "GetArgument - Number is not finite (NaN or Infinity) for key:" + key, walk);
      }
      if (IsFractional(env, value)) {
        out = IPC::WireValue::Double(number);
      } else {
        out = IPC::WireValue::Int(value.As<Napi::Number>().Int64Value());
      }
      return true;
    }
    case napi_string:
      out = IPC::WireValue::String(value.As<Napi::String>().Utf8Value());
      return true;
    case napi_object:
    case napi_function:
      return ConvertObject(env, key, value.As<Napi::Object>(), out, functionName, walk);
    default:
      // undefined, symbol, bigint, external
      return Refuse(env, functionName,
                    "GetArgument - Unknown argument type detected for key:" + key, walk);
  }
}

// A member that failed to convert has left its error pending; the table as a whole fails
// with a C++ exception that takes the error along (the exported call's frame turns it
// into its catch-all error).
napi_value MemberOrThrow(Napi::Env env, Napi::Value value) {
  if (value.IsEmpty()) {
    throw Napi::Error::New(env);
  }
  return value;
}

// What one result's conversion reuses: the property keys of the last objects by member
// position (the objects of a list mostly share their names, and a key made once spares
// V8 from interning the same text again) and the descriptors an object is defined with.
struct ResultBuilder {
  Napi::Env env;
  const std::string& functionName;
  std::vector<std::pair<std::string, napi_value>> keys;
  std::vector<napi_property_descriptor> descriptors;
  std::vector<napi_value> indexKeys;

  // The key for a member name, up to its first zero byte as JavaScript sees it.
  napi_value KeyAt(size_t position, const std::string& name) {
    const size_t length = std::strlen(name.c_str());
    if (position < keys.size() && keys[position].first.size() == length &&
        std::memcmp(keys[position].first.data(), name.data(), length) == 0) {
      return keys[position].second;
    }
    napi_value key = nullptr;
    napi_create_string_utf8(env, name.data(), length, &key);
    if (position >= keys.size()) {
      keys.resize(position + 1);
    }
    keys[position].first.assign(name.data(), length);
    keys[position].second = key;
    return key;
  }

  // The key of a list's element at index, made once per result.
  napi_value IndexKey(size_t index) {
    while (indexKeys.size() <= index) {
      const std::string text = std::to_string(indexKeys.size());
      napi_value key = nullptr;
      napi_create_string_utf8(env, text.data(), text.size(), &key);
      indexKeys.push_back(key);
    }
    return indexKeys[index];
  }
};

Napi::Value ParseValue(ResultBuilder& builder, const IPC::WireValue& value, const std::string& key);

Napi::Value ParseTable(ResultBuilder& builder, const IPC::WireValue& table) {
  Napi::Env env = builder.env;
  const IPC::WireMembers& members = table.Members();
  const bool list = table.IsList();
  Napi::Object object =
      list ? Napi::Array::New(env, members.size()).As<Napi::Object>() : Napi::Object::New(env);
  if (members.empty()) {
    return object;
  }
  // Every member (every element of a list) is defined as an own data property in one call,
  // as Object.defineProperty would: a setter planted on Object.prototype or
  // Array.prototype never sees the host's data, and "__proto__" stays data instead of
  // replacing the object's prototype.
  std::vector<napi_property_descriptor> descriptors;
  descriptors.swap(builder.descriptors);  // a nested table takes its own
  descriptors.clear();
  descriptors.reserve(members.size());
  size_t position = 0;
  for (const auto& member : members) {
    napi_value memberValue = MemberOrThrow(env, ParseValue(builder, member.second, member.first));
    napi_property_descriptor descriptor{};
    descriptor.name = list ? builder.IndexKey(position++) : builder.KeyAt(position++, member.first);
    descriptor.value = memberValue;
    descriptor.attributes = napi_default_jsproperty;
    descriptors.push_back(descriptor);
  }
  napi_define_properties(env, object, descriptors.size(), descriptors.data());
  builder.descriptors.swap(descriptors);
  return object;
}

Napi::Value ParseProxy(Napi::Env env, const IPC::WireValue& value,
                       const std::string& functionName) {
  const IPC::ProxyInfo* info = value.GetProxy();
  if (info == nullptr) {
    return ThrowJsError(env, functionName, "ParseProxyObject - Failed to parse proxy object info");
  }
  switch (IPC::ValidateProxyInfo(*info)) {
    case IPC::ProxyFault::InvalidId:
      return ThrowJsError(env, functionName, "ParseProxyObject - Invalid proxyId");
    case IPC::ProxyFault::EmptyName:
      return ThrowJsError(env, functionName, "ParseProxyObject - proxy name is empty");
    case IPC::ProxyFault::NoFunctions:
      return ThrowJsError(env, functionName, "ParseProxyObject - function list is empty");
    case IPC::ProxyFault::None:
      break;
  }
  return CreateProxyObject(env, info->name, info->proxyId, info->uniqueId, info->functions,
                           functionName);
}

// The code of a typed value's kind in the error text: -1 for no known kind.
std::string UnknownObjectText(const std::string& key, int kind) {
  return "Parse - Unknown object type detected for key:" + key + " (type:" + std::to_string(kind) +
         ")";
}

Napi::Value ParseValue(ResultBuilder& builder, const IPC::WireValue& value,
                       const std::string& key) {
  Napi::Env env = builder.env;
  const std::string& functionName = builder.functionName;
  using Kind = IPC::WireValue::Kind;
  switch (value.GetKind()) {
    case Kind::None:
      return env.Undefined();
    case Kind::Bool:
      return Napi::Boolean::New(env, value.AsBool());
    case Kind::Int:
    case Kind::UInt64:
    case Kind::Double:
      // Integers beyond 32 bits keep their value as numbers (exact up to 2^53).
      return Napi::Number::New(env, value.AsNumber());
    case Kind::String:
      return Napi::String::New(env, value.AsString());
    case Kind::Table:
      return ParseTable(builder, value);
    case Kind::Proxy:
      return ParseProxy(env, value, functionName);
    case Kind::ProxyRef:
      return ThrowJsError(env, functionName, UnknownObjectText(key, 2));
    case Kind::Unreadable:
      switch (value.GetFault()) {
        case IPC::WireValue::Fault::UnknownObject:
          return ThrowJsError(env, functionName, UnknownObjectText(key, -1));
        case IPC::WireValue::Fault::TableNoValue:
          return ThrowJsError(env, functionName, "ParseTableObject - Failed to parse table object");
        default:
          break;
      }
      break;
  }
  return ThrowJsError(env, functionName, "Parse - Unknown data type detected for key:" + key);
}

// A wire value converted value by value.
Napi::Value ParseWire(Napi::Env env, const IPC::WireValue& value, const std::string& functionName,
                      const std::string& key = "result") {
  ResultBuilder builder{env, functionName, {}, {}, {}};
  return ParseValue(builder, value, key);
}

}  // namespace

bool GetArguments(const Napi::CallbackInfo& info, const std::string& functionName,
                  IPC::WireMembers& out) {
  out.clear();
  Walk walk;
  const size_t count = info.Length();
  out.reserve(count);
  for (size_t i = 0; i < count && !walk.Exhausted() && !walk.failed; ++i) {
    std::string key = std::to_string(i);
    IPC::WireValue value;
    if (ConvertArgument(info.Env(), key, info[i], value, functionName, walk)) {
      out.emplace_back(std::move(key), std::move(value));
    }
  }
  return !walk.failed;
}

Napi::Value Parse(Napi::Env env, const IPC::WireValue& value, const std::string& functionName,
                  const std::string& key) {
  if (value.GetKind() == IPC::WireValue::Kind::Table) {
    // As a result's table: JSON.parse of its plain text builds it faster.
    Napi::Value built = ParsePlainText(env, [&value](std::string& plain, bool* asciiOnly) {
      return IPC::WireCodec::WritePlainJson(value, plain, asciiOnly);
    });
    if (!built.IsEmpty()) return built;
  }
  return ParseWire(env, value, functionName, key);
}

Napi::Value ParseResult(Napi::Env env, const IPC::ResponseMessage& response,
                        const std::string& functionName) {
  const IPC::JsonView json = IPC::JsonView::Of(response.result).Find("result");
  if (json.Kind() == IPC::JsonKind::Object) {
    // A table of plain values is built by V8's own JSON.parse from plain text, much faster
    // than one Node-API call per value; anything else takes the wire value road.
    Napi::Value built = ParsePlainText(env, [&json](std::string& plain, bool* asciiOnly) {
      *asciiOnly = false;
      return IPC::WireCodec::WritePlainJson(json, plain);
    });
    if (!built.IsEmpty()) return built;
  }
  // The plain text of a table was tried above: what is left goes value by value.
  return json.IsPresent() ? ParseWire(env, IPC::WireCodec::Decode(json), functionName)
                          : env.Undefined();
}

Napi::Value ParsePlainResult(Napi::Env env, const std::string& responseText) {
  return ParsePlainText(env, [&responseText](std::string& plain, bool* asciiOnly) {
    return IPC::WritePlainResult(responseText, plain, asciiOnly);
  });
}

IPC::KvVariantMap GetArguments(const Napi::CallbackInfo& info, const std::string& functionName,
                               bool* tooLarge) {
  IPC::WireMembers members;
  Walk walk;
  for (size_t i = 0; i < info.Length() && !walk.Exhausted(); ++i) {
    std::string key = std::to_string(i);
    IPC::WireValue value;
    if (ConvertArgument(info.Env(), key, info[i], value, functionName, walk)) {
      members.emplace_back(std::move(key), std::move(value));
    }
  }
  if (tooLarge != nullptr) {
    *tooLarge = walk.Exhausted();
  }
  IPC::KvVariantMap args;
  IPC::WireCodec::AppendMembers(members, args);
  return args;
}

Napi::Value Parse(Napi::Env env, const IPC::KvVariantMap& map, const std::string& key,
                  const std::string& functionName) {
  const IPC::JsonView value = IPC::JsonView::Of(map).Find(key);
  if (!value.IsPresent()) {
    return Napi::Value();
  }
  return Parse(env, IPC::WireCodec::Decode(value), functionName, key);
}

void GetArgument(Napi::Env env, const std::string& key, Napi::Value value, IPC::KvVariantMap& map,
                 const std::string& functionName) {
  Walk walk;
  IPC::WireValue converted;
  if (ConvertArgument(env, key, value, converted, functionName, walk)) {
    IPC::WireCodec::Store(converted, key, map);
  }
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

}  // namespace Hostlink
