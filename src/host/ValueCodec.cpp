// The wire form of host values, written and read through the message layer's typed values.
#include "host/ValueCodec.h"

#include <cmath>
#include <limits>

#include "host/HostObject.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/ProxyRef.h"
#include "ipc/TableValue.h"

namespace Host {

namespace {

bool Fail(ValueCodec::Failure& failure, std::string text, ErrorCode code) {
  failure.text = std::move(text);
  failure.code = code;
  return false;
}

std::string ArgumentPath(const std::string& path) { return "Argument " + path; }

}  // namespace

bool ValueCodec::Encode(const Value& value, IPC::KvVariantMap& map, const std::string& key,
                        Failure& failure) const {
  return EncodeAt(value, map, key, 0, failure);
}

bool ValueCodec::EncodeAt(const Value& value, IPC::KvVariantMap& map, const std::string& key,
                          int depth, Failure& failure) const {
  switch (value.GetKind()) {
    case Value::Kind::None:
      if (depth > 0) {
        return Fail(failure, "Result member " + key + " has no value", ErrorCode::BadResult);
      }
      return true;
    case Value::Kind::Bool:
      map.Set(key, value.AsBool());
      return true;
    case Value::Kind::Int: {
      const int64_t number = value.AsInt();
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        map.Set(key, static_cast<int32_t>(number));
      } else {
        map.Set(key, static_cast<double>(number));
      }
      return true;
    }
    case Value::Kind::Double: {
      const double number = value.AsNumber();
      if (!std::isfinite(number)) {
        return Fail(failure, "Result holds a number that is not finite", ErrorCode::BadResult);
      }
      map.Set(key, number);
      return true;
    }
    case Value::Kind::String:
      map.Set(key, value.AsString());
      return true;
    case Value::Kind::Map:
    case Value::Kind::List: {
      if (depth >= kMaxDepth) {
        return Fail(failure,
                    "Result is nested more than " + std::to_string(kMaxDepth) + " tables deep",
                    ErrorCode::BadResult);
      }
      IPC::TableValue table;
      if (value.IsMap()) {
        for (const auto& member : value.AsMap()) {
          if (!EncodeAt(member.second, table.value, member.first, depth + 1, failure)) {
            return false;
          }
        }
      } else {
        table.isList = true;
        const ValueList& items = value.AsList();
        for (size_t i = 0; i < items.size(); ++i) {
          if (!EncodeAt(items[i], table.value, std::to_string(i), depth + 1, failure)) {
            return false;
          }
        }
      }
      map.Set(key, table.ToVariantMap());
      return true;
    }
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
      map.Set(key, proxy.ToVariantMap());
      return true;
    }
  }
  return Fail(failure, "Result holds a value of unknown kind", ErrorCode::BadResult);
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
