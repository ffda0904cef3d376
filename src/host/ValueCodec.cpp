// Host values to the wire and back, each one pass over the value: out through the wire
// writer, straight into the text or document; in from wire values.
#include "host/ValueCodec.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include <utility>

#include "host/HostObject.h"
#include "ipc/WireCodec.h"
#include "variant/JsonValueBuilder.h"
#include "variant/JsonView.h"

namespace Host {

namespace {

bool Fail(ValueCodec::Failure& failure, std::string text, ErrorCode code) {
  failure.text = std::move(text);
  failure.code = code;
  return false;
}

std::string ArgumentPath(const std::string& path) { return "Argument " + path; }

// "0", "1", ...: a list item's or a callback argument's name, without an allocation.
class PositionName {
 public:
  explicit PositionName(size_t position)
      : size_(static_cast<size_t>(std::to_chars(digits_, digits_ + sizeof digits_, position).ptr -
                                  digits_)) {}
  std::string_view View() const { return std::string_view(digits_, size_); }

 private:
  char digits_[24];
  size_t size_;
};

// The positions of a map's members in the order they travel, or false when no name
// repeats (the common case: then every member travels, in order). Host code seldom
// repeats a name, but one that does reads as KvVariantMap::Set stores it: a repeated name
// replaces the earlier value in place, or, for a table or an object, moves to the end.
bool PlanRepeatedNames(const ValueMap& map, std::vector<size_t>& order) {
  constexpr size_t kLinearLimit = 16;
  bool repeats = false;
  if (map.size() <= kLinearLimit) {
    for (size_t i = 1; i < map.size() && !repeats; ++i) {
      for (size_t j = 0; j < i && !repeats; ++j) repeats = map[i].first == map[j].first;
    }
  } else {
    std::unordered_set<std::string_view> names;
    names.reserve(map.size());
    for (const auto& member : map) {
      if (!names.insert(member.first).second) {
        repeats = true;
        break;
      }
    }
  }
  if (!repeats) {
    return false;
  }
  order.clear();
  std::unordered_map<std::string_view, size_t> slot;  // name -> its position in order
  for (size_t i = 0; i < map.size(); ++i) {
    const auto found = slot.find(map[i].first);
    if (found == slot.end()) {
      slot.emplace(map[i].first, order.size());
      order.push_back(i);
      continue;
    }
    const Value::Kind kind = map[i].second.GetKind();
    if (kind != Value::Kind::Map && kind != Value::Kind::List && kind != Value::Kind::Object) {
      order[found->second] = i;
      continue;
    }
    const size_t from = found->second;
    order.erase(order.begin() + static_cast<std::ptrdiff_t>(from));
    order.push_back(i);
    for (size_t k = from; k < order.size(); ++k) slot[map[order[k]].first] = k;
  }
  return true;
}

}  // namespace

bool ValueCodec::Encode(const Value& value, IPC::WireWriter& out, Failure& failure) const {
  return value.IsNone() || EncodeAt(value, "result", 0, out, failure);
}

bool ValueCodec::Encode(const Value& value, IPC::KvVariantMap& map, const std::string& key,
                        Failure& failure) const {
  if (value.IsNone()) {
    return true;  // sets nothing
  }
  IPC::JsonValueBuilder builder(map);
  IPC::WireWriter out(builder);
  if (!EncodeAt(value, key, 0, out, failure)) {
    return false;  // the partly built value is dropped with the builder
  }
  builder.StoreAs(key);
  return true;
}

bool ValueCodec::EncodeArguments(const std::vector<Value>& args, IPC::WireWriter& out,
                                 Failure& failure) const {
  out.StartMembers();
  for (size_t i = 0; i < args.size(); ++i) {
    const PositionName key(i);
    out.Member(key.View());
    if (!EncodeAt(args[i], key.View(), 0, out, failure)) {
      return false;
    }
  }
  out.EndMembers();
  return true;
}

bool ValueCodec::EncodeAt(const Value& value, std::string_view key, int depth,
                          IPC::WireWriter& out, Failure& failure) const {
  switch (value.GetKind()) {
    case Value::Kind::None:
      return Fail(failure, "Result member " + std::string(key) + " has no value",
                  ErrorCode::BadResult);
    case Value::Kind::Bool:
      out.Bool(value.AsBool());
      return true;
    case Value::Kind::Int:
      out.Int(value.AsInt());
      return true;
    case Value::Kind::Double: {
      const double number = value.AsNumber();
      if (!std::isfinite(number)) {
        return Fail(failure, "Result holds a number that is not finite", ErrorCode::BadResult);
      }
      out.Double(number);
      return true;
    }
    case Value::Kind::String:
      out.String(value.AsString());
      return true;
    case Value::Kind::Map:
    case Value::Kind::List:
      return EncodeTable(value, depth, out, failure);
    case Value::Kind::Object:
      return EncodeObject(value.AsObject(), nullptr, out, failure);
  }
  return Fail(failure, "Result holds a value of unknown kind", ErrorCode::BadResult);
}

bool ValueCodec::EncodeObject(const ObjectPtr& object, const std::vector<std::string>* features,
                              IPC::WireWriter& out, Failure& failure) const {
  if (object != nullptr && object->GetFunctionNames().empty()) {
    return Fail(failure,
                "Result holds an object of kind " + object->GetKind() +
                    " with no functions, which a plug-in cannot call",
                ErrorCode::BadResult);
  }
  const int64_t id = registry_.HandOut(object);
  if (id == 0) {
    return Fail(failure, "Result holds an object that cannot be registered",
                ErrorCode::BadResult);
  }
  out.Proxy(id, object->GetUniqueId(), object->GetKind(), object->GetFunctionNames(), features);
  return true;
}

bool ValueCodec::EncodeRoot(const ObjectPtr& root, const std::vector<std::string>& features,
                            IPC::WireWriter& out, Failure& failure) const {
  return EncodeObject(root, &features, out, failure);
}

bool ValueCodec::EncodeTable(const Value& value, int depth, IPC::WireWriter& out,
                             Failure& failure) const {
  if (depth >= kMaxDepth) {
    return Fail(failure, "Result is nested more than " + std::to_string(kMaxDepth) + " tables deep",
                ErrorCode::BadResult);
  }
  out.StartTable();
  if (value.IsMap()) {
    const ValueMap& map = value.AsMap();
    std::vector<size_t> order;
    if (!PlanRepeatedNames(map, order)) {
      for (const auto& member : map) {
        out.Member(member.first);
        if (!EncodeAt(member.second, member.first, depth + 1, out, failure)) {
          return false;
        }
      }
    } else {
      for (const size_t i : order) {
        out.Member(map[i].first);
        if (!EncodeAt(map[i].second, map[i].first, depth + 1, out, failure)) {
          return false;
        }
      }
    }
    out.EndTable(false);
    return true;
  }
  const ValueList& items = value.AsList();
  for (size_t i = 0; i < items.size(); ++i) {
    const PositionName key(i);
    out.Member(key.View());
    if (!EncodeAt(items[i], key.View(), depth + 1, out, failure)) {
      return false;
    }
  }
  out.EndTable(true);
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
