// Host values to wire values and back, each one pass over the value.
#include "host/ValueCodec.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "host/HostObject.h"
#include "ipc/WireCodec.h"
#include "variant/JsonView.h"

namespace Host {

namespace {

bool Fail(ValueCodec::Failure& failure, std::string text, ErrorCode code) {
  failure.text = std::move(text);
  failure.code = code;
  return false;
}

std::string ArgumentPath(const std::string& path) { return "Argument " + path; }

// Where a table member's name came earlier in the same table. Tables from host code
// seldom repeat a name, but one that does must read as it always has.
class TableKeys {
 public:
  explicit TableKeys(size_t count) : hashed_(count > kLinearLimit) {
    if (hashed_) {
      seen_.reserve(count);
    }
  }
  // The position of the earlier member of that name, or npos; records key at position.
  size_t Earlier(const IPC::WireMembers& members, const std::string& key) {
    if (!hashed_) {
      for (size_t i = 0; i < members.size(); ++i) {
        if (members[i].first == key) {
          return i;
        }
      }
      return std::string::npos;
    }
    const auto found = seen_.find(key);
    if (found != seen_.end()) {
      return found->second;
    }
    seen_.emplace(key, members.size());
    return std::string::npos;
  }
  // A member moved to the end: every later position shifts down by one.
  void Moved(const IPC::WireMembers& members, size_t from) {
    if (!hashed_) {
      return;
    }
    for (size_t i = from; i < members.size(); ++i) {
      seen_[members[i].first] = i;
    }
  }

 private:
  static constexpr size_t kLinearLimit = 16;
  bool hashed_;
  std::unordered_map<std::string, size_t> seen_;
};

// Adds a member as KvVariantMap::Set would: a new name at the end; a repeated one replaces
// the earlier value in place, or, for a table or proxy, moves to the end.
void AddMember(IPC::WireMembers& members, TableKeys& keys, const std::string& key,
               IPC::WireValue&& value) {
  const size_t earlier = keys.Earlier(members, key);
  if (earlier == std::string::npos) {
    members.emplace_back(key, std::move(value));
    return;
  }
  const IPC::WireValue::Kind kind = value.GetKind();
  if (kind != IPC::WireValue::Kind::Table && kind != IPC::WireValue::Kind::Proxy) {
    members[earlier].second = std::move(value);
    return;
  }
  members.erase(members.begin() + static_cast<std::ptrdiff_t>(earlier));
  members.emplace_back(key, std::move(value));
  keys.Moved(members, earlier);
}

}  // namespace

bool ValueCodec::Encode(const Value& value, IPC::WireValue& wire, Failure& failure) const {
  if (value.IsNone()) {
    wire = IPC::WireValue();
    return true;
  }
  return EncodeAt(value, "result", 0, wire, failure);
}

bool ValueCodec::Encode(const Value& value, IPC::KvVariantMap& map, const std::string& key,
                        Failure& failure) const {
  if (value.IsNone()) {
    return true;  // sets nothing
  }
  IPC::WireValue wire;
  if (!EncodeAt(value, key, 0, wire, failure)) {
    return false;
  }
  IPC::WireCodec::Store(wire, key, map);
  return true;
}

bool ValueCodec::EncodeArguments(const std::vector<Value>& args, IPC::WireMembers& wire,
                                 Failure& failure) const {
  wire.clear();
  wire.reserve(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    std::string key = std::to_string(i);
    IPC::WireValue encoded;
    if (!EncodeAt(args[i], key, 0, encoded, failure)) {
      return false;
    }
    wire.emplace_back(std::move(key), std::move(encoded));
  }
  return true;
}

bool ValueCodec::EncodeAt(const Value& value, const std::string& key, int depth,
                          IPC::WireValue& wire, Failure& failure) const {
  switch (value.GetKind()) {
    case Value::Kind::None:
      return Fail(failure, "Result member " + key + " has no value", ErrorCode::BadResult);
    case Value::Kind::Bool:
      wire = IPC::WireValue::Bool(value.AsBool());
      return true;
    case Value::Kind::Int:
      wire = IPC::WireValue::Int(value.AsInt());
      return true;
    case Value::Kind::Double: {
      const double number = value.AsNumber();
      if (!std::isfinite(number)) {
        return Fail(failure, "Result holds a number that is not finite", ErrorCode::BadResult);
      }
      wire = IPC::WireValue::Double(number);
      return true;
    }
    case Value::Kind::String:
      wire = IPC::WireValue::String(value.AsString());
      return true;
    case Value::Kind::Map:
    case Value::Kind::List:
      return EncodeTable(value, depth, wire, failure);
    case Value::Kind::Object: {
      const ObjectPtr& object = value.AsObject();
      if (object != nullptr && object->GetFunctionNames().empty()) {
        return Fail(failure,
                    "Result holds an object of kind " + object->GetKind() +
                        " with no functions, which a plug-in cannot call",
                    ErrorCode::BadResult);
      }
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
      wire = IPC::WireValue::Proxy(std::move(proxy));
      return true;
    }
  }
  return Fail(failure, "Result holds a value of unknown kind", ErrorCode::BadResult);
}

bool ValueCodec::EncodeTable(const Value& value, int depth, IPC::WireValue& wire,
                             Failure& failure) const {
  if (depth >= kMaxDepth) {
    return Fail(failure, "Result is nested more than " + std::to_string(kMaxDepth) + " tables deep",
                ErrorCode::BadResult);
  }
  wire = IPC::WireValue::Table({}, value.IsList());
  IPC::WireMembers& members = wire.Members();
  if (value.IsMap()) {
    const ValueMap& map = value.AsMap();
    members.reserve(map.size());
    TableKeys keys(map.size());
    for (const auto& member : map) {
      IPC::WireValue encoded;
      if (!EncodeAt(member.second, member.first, depth + 1, encoded, failure)) {
        return false;
      }
      AddMember(members, keys, member.first, std::move(encoded));
    }
    return true;
  }
  const ValueList& items = value.AsList();
  members.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    std::string key = std::to_string(i);
    IPC::WireValue encoded;
    if (!EncodeAt(items[i], key, depth + 1, encoded, failure)) {
      return false;
    }
    members.emplace_back(std::move(key), std::move(encoded));
  }
  return true;
}

bool ValueCodec::DecodeArguments(const IPC::WireMembers& args, ValueMap& members,
                                 Failure& failure) const {
  members.clear();
  members.reserve(args.size());
  for (const auto& arg : args) {
    Value value;
    if (!DecodeAt(arg.second, arg.first, 0, value, failure)) {
      return false;
    }
    members.emplace_back(arg.first, std::move(value));
  }
  return true;
}

bool ValueCodec::DecodeArguments(const IPC::KvVariantMap& args, ValueMap& members,
                                 Failure& failure) const {
  IPC::WireMembers wire;
  IPC::WireCodec::DecodeMembers(IPC::JsonView::Of(args), wire);
  return DecodeArguments(wire, members, failure);
}

bool ValueCodec::Decode(const IPC::WireValue& wire, const std::string& path, Value& value,
                        Failure& failure) const {
  return DecodeAt(wire, path, 0, value, failure);
}

bool ValueCodec::Decode(const IPC::KvVariantMap& map, const std::string& key,
                        const std::string& path, Value& value, Failure& failure) const {
  const IPC::JsonView json = IPC::JsonView::Of(map).Find(key);
  return DecodeAt(IPC::WireCodec::Decode(json), path, 0, value, failure);
}

bool ValueCodec::DecodeAt(const IPC::WireValue& wire, const std::string& path, int depth,
                          Value& value, Failure& failure) const {
  // A bare array would otherwise read as its first element.
  if (wire.CameFromArray()) {
    return Fail(failure, ArgumentPath(path) + " is a bare array; lists travel as tables",
                ErrorCode::BadArgument);
  }
  using Kind = IPC::WireValue::Kind;
  const Kind kind = wire.GetKind();
  switch (kind) {
    case Kind::Bool:
      value = wire.AsBool();
      return true;
    case Kind::Int:
      value = wire.AsInt();
      return true;
    case Kind::UInt64:
    case Kind::Double:
      value = wire.AsNumber();
      return true;
    case Kind::String:
      value = wire.AsString();
      return true;
    default:
      break;
  }
  const bool isObject = kind == Kind::Table || kind == Kind::Proxy || kind == Kind::ProxyRef ||
                        (kind == Kind::Unreadable &&
                         wire.GetFault() != IPC::WireValue::Fault::NoValue);
  if (!isObject) {
    return Fail(failure, ArgumentPath(path) + " has no value the host can read",
                ErrorCode::BadArgument);
  }
  if (depth >= kMaxDepth) {
    return Fail(
        failure,
        ArgumentPath(path) + " is nested more than " + std::to_string(kMaxDepth) + " tables deep",
        ErrorCode::BadArgument);
  }
  if (kind == Kind::Table || wire.GetFault() == IPC::WireValue::Fault::TableNoValue) {
    if (kind != Kind::Table || !wire.ValueIsMap()) {
      return Fail(failure, ArgumentPath(path) + " is a table without a value",
                  ErrorCode::BadArgument);
    }
    const IPC::WireMembers& members = wire.Members();
    if (wire.IsList()) {
      ValueList items;
      items.reserve(members.size());
      for (const auto& member : members) {
        Value item;
        if (!DecodeAt(member.second, path + "." + member.first, depth + 1, item, failure)) {
          return false;
        }
        items.push_back(std::move(item));
      }
      value = Value(std::move(items));
      return true;
    }
    ValueMap map;
    map.reserve(members.size());
    for (const auto& member : members) {
      Value item;
      if (!DecodeAt(member.second, path + "." + member.first, depth + 1, item, failure)) {
        return false;
      }
      map.emplace_back(member.first, std::move(item));
    }
    value = Value(std::move(map));
    return true;
  }
  if (kind == Kind::ProxyRef) {
    const int64_t proxyId = wire.GetProxyId();
    if (proxyId <= 0) {
      return Fail(failure, ArgumentPath(path) + " is an invalid object reference",
                  ErrorCode::BadArgument);
    }
    ObjectPtr target = registry_.Find(proxyId);
    if (!target) {
      return Fail(failure,
                  ArgumentPath(path) + " refers to object " + std::to_string(proxyId) +
                      ", which does not exist",
                  ErrorCode::StaleReference);
    }
    value = Value(std::move(target));
    return true;
  }
  return Fail(failure, ArgumentPath(path) + " is an object of no known type",
              ErrorCode::BadArgument);
}

}  // namespace Host
