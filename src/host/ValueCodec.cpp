// The wire form of host values, written and read through the message layer's typed values.
#include "host/ValueCodec.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/HostObject.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/ProxyRef.h"
#include "ipc/TableValue.h"
#include "variant/KvVariantMapImpl.h"

namespace Host {

namespace {

bool Fail(ValueCodec::Failure& failure, std::string text, ErrorCode code) {
  failure.text = std::move(text);
  failure.code = code;
  return false;
}

std::string ArgumentPath(const std::string& path) { return "Argument " + path; }

using Json = rapidjson::Value;

// Tells whether a table member's name came earlier in the same table. Tables from host
// code seldom repeat a name, but one that does must read as it always has.
class TableKeys {
 public:
  explicit TableKeys(size_t count) : hashed_(count > kLinearLimit) {
    if (hashed_) {
      seen_.reserve(count);
    }
  }
  bool Seen(const std::string& key) {
    if (!hashed_) {
      for (const std::string* earlier : small_) {
        if (*earlier == key) {
          return true;
        }
      }
      small_.push_back(&key);
      return false;
    }
    return !seen_.insert(key).second;
  }

 private:
  static constexpr size_t kLinearLimit = 16;
  bool hashed_;
  std::vector<const std::string*> small_;
  std::unordered_set<std::string_view> seen_;
};

// Adds a member as KvVariantMap::Set would: a new name at the end; a repeated one replaces
// the earlier value in place, or, for a table or proxy, moves to the end.
void AddMember(Json& members, const std::string& key, Json& value, bool repeated,
               Json::AllocatorType& allocator) {
  const auto size = static_cast<rapidjson::SizeType>(key.size());
  if (repeated) {
    const auto earlier = members.FindMember(Json(rapidjson::StringRef(key.data(), size)));
    if (!value.IsObject()) {
      earlier->value = value;
      return;
    }
    members.EraseMember(earlier);
  }
  members.AddMember(Json(key.data(), size, allocator), value, allocator);
}

}  // namespace

bool ValueCodec::Encode(const Value& value, IPC::KvVariantMap& map, const std::string& key,
                        Failure& failure) const {
  if (value.IsNone()) {
    return true;  // sets nothing
  }
  IPC::KvVariantMapImpl& impl = IPC::KvVariantMapImpl::Of(map);
  Json json;
  if (!EncodeAt(value, key, impl.GetAllocator(), 0, json, failure)) {
    return false;
  }
  if (impl.IsValid()) {
    // As KvVariantMap::Set: a table or proxy moves the key to the end, a scalar keeps it.
    if (json.IsObject()) {
      impl.StoreLast(key, json);
    } else {
      impl.Store(key, json);
    }
  }
  return true;
}

bool ValueCodec::EncodeAt(const Value& value, const std::string& key, Allocator& allocator,
                          int depth, Json& json, Failure& failure) const {
  switch (value.GetKind()) {
    case Value::Kind::None:
      return Fail(failure, "Result member " + key + " has no value", ErrorCode::BadResult);
    case Value::Kind::Bool:
      json.SetBool(value.AsBool());
      return true;
    case Value::Kind::Int: {
      const int64_t number = value.AsInt();
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        json.SetInt(static_cast<int32_t>(number));
      } else {
        json.SetDouble(static_cast<double>(number));
      }
      return true;
    }
    case Value::Kind::Double: {
      const double number = value.AsNumber();
      if (!std::isfinite(number)) {
        return Fail(failure, "Result holds a number that is not finite", ErrorCode::BadResult);
      }
      json.SetDouble(number);
      return true;
    }
    case Value::Kind::String: {
      const std::string& text = value.AsString();
      json.SetString(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
      return true;
    }
    case Value::Kind::Map:
    case Value::Kind::List:
      return EncodeTable(value, allocator, depth, json, failure);
    case Value::Kind::Object: {
      const ObjectPtr& object = value.AsObject();
      const int64_t id = registry_.Register(object);
      if (id == 0) {
        return Fail(failure, "Result holds an object that cannot be registered",
                    ErrorCode::BadResult);
      }
      IPC::ProxyInfo proxy;
      proxy.proxyId = id;
      proxy.uniqueId = object->GetUniqueId();
      proxy.name = object->GetKind();
      proxy.functions = object->GetFunctionNames();
      json.CopyFrom(IPC::KvVariantMapImpl::Of(proxy.ToVariantMap()).document, allocator);
      return true;
    }
  }
  return Fail(failure, "Result holds a value of unknown kind", ErrorCode::BadResult);
}

// The table's wire form, {"type":"table","value":{members},"isList":true}, built in place:
// each member is made once, in the document that sends it.
bool ValueCodec::EncodeTable(const Value& value, Allocator& allocator, int depth, Json& json,
                             Failure& failure) const {
  if (depth >= kMaxDepth) {
    return Fail(failure, "Result is nested more than " + std::to_string(kMaxDepth) + " tables deep",
                ErrorCode::BadResult);
  }
  Json members(rapidjson::kObjectType);
  if (value.IsMap()) {
    const ValueMap& map = value.AsMap();
    TableKeys keys(map.size());
    for (const auto& member : map) {
      Json encoded;
      if (!EncodeAt(member.second, member.first, allocator, depth + 1, encoded, failure)) {
        return false;
      }
      AddMember(members, member.first, encoded, keys.Seen(member.first), allocator);
    }
  } else {
    const ValueList& items = value.AsList();
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string key = std::to_string(i);
      Json encoded;
      if (!EncodeAt(items[i], key, allocator, depth + 1, encoded, failure)) {
        return false;
      }
      AddMember(members, key, encoded, false, allocator);
    }
  }
  json.SetObject();
  json.AddMember(rapidjson::StringRef("type"), rapidjson::StringRef("table"), allocator);
  json.AddMember(rapidjson::StringRef("value"), members, allocator);
  if (value.IsList()) {
    json.AddMember(rapidjson::StringRef("isList"), true, allocator);
  }
  return true;
}

bool ValueCodec::DecodeArguments(const IPC::KvVariantMap& args, ValueMap& members,
                                 Failure& failure) const {
  members.clear();
  for (const std::string& key : args.GetKeys()) {
    Value value;
    if (!DecodeAt(args, key, key, 0, value, failure)) {
      return false;
    }
    members.emplace_back(key, std::move(value));
  }
  return true;
}

bool ValueCodec::Decode(const IPC::KvVariantMap& map, const std::string& key,
                        const std::string& path, Value& value, Failure& failure) const {
  return DecodeAt(map, key, path, 0, value, failure);
}

bool ValueCodec::DecodeAt(const IPC::KvVariantMap& map, const std::string& key,
                          const std::string& path, int depth, Value& value,
                          Failure& failure) const {
  // A bare array would otherwise read as its first element.
  if (map.IsList(key)) {
    return Fail(failure, ArgumentPath(path) + " is a bare array; lists travel as tables",
                ErrorCode::BadArgument);
  }
  if (map.IsBool(key)) {
    value = map.GetBool(key);
  } else if (map.IsInt64(key)) {
    value = map.GetInt64(key);
  } else if (map.IsUInt64(key)) {
    value = static_cast<double>(map.GetUInt64(key));
  } else if (map.IsDouble(key)) {
    value = map.GetDouble(key);
  } else if (map.IsString(key)) {
    value = map.GetString(key);
  } else if (map.IsMap(key)) {
    if (depth >= kMaxDepth) {
      return Fail(
          failure,
          ArgumentPath(path) + " is nested more than " + std::to_string(kMaxDepth) + " tables deep",
          ErrorCode::BadArgument);
    }
    return DecodeObject(map.GetMap(key), path, depth, value, failure);
  } else {
    return Fail(failure, ArgumentPath(path) + " has no value the host can read",
                ErrorCode::BadArgument);
  }
  return true;
}

bool ValueCodec::DecodeObject(const IPC::KvVariantMap& object, const std::string& path, int depth,
                              Value& value, Failure& failure) const {
  if (!object.Has("type")) {
    return Fail(failure, ArgumentPath(path) + " is an object of no known type",
                ErrorCode::BadArgument);
  }
  switch (IPC::GetObjectType(object)) {
    case IPC::ObjectType::Table: {
      IPC::TableValue table;
      if (!table.FromVariantMap(object) || !table.value.IsValid()) {
        return Fail(failure, ArgumentPath(path) + " is a table without a value",
                    ErrorCode::BadArgument);
      }
      ValueMap members;
      for (const std::string& key : table.value.GetKeys()) {
        Value member;
        if (!DecodeAt(table.value, key, path + "." + key, depth + 1, member, failure)) {
          return false;
        }
        members.emplace_back(key, std::move(member));
      }
      if (table.isList) {
        ValueList items;
        items.reserve(members.size());
        for (auto& member : members) {
          items.push_back(std::move(member.second));
        }
        value = Value(std::move(items));
      } else {
        value = Value(std::move(members));
      }
      return true;
    }
    case IPC::ObjectType::ProxyRef: {
      IPC::ProxyRef ref;
      if (!ref.FromVariantMap(object)) {
        return Fail(failure, ArgumentPath(path) + " is an invalid object reference",
                    ErrorCode::BadArgument);
      }
      ObjectPtr target = registry_.Find(ref.proxyId);
      if (!target) {
        return Fail(failure,
                    ArgumentPath(path) + " refers to object " + std::to_string(ref.proxyId) +
                        ", which does not exist",
                    ErrorCode::StaleReference);
      }
      value = Value(std::move(target));
      return true;
    }
    default:
      return Fail(failure, ArgumentPath(path) + " is an object of no known type",
                  ErrorCode::BadArgument);
  }
}

}  // namespace Host
