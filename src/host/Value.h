// A value a host function takes or returns: a scalar, a table (map or list) or a host object.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace Host {

class HostObject;
class Value;

// A map keeps its members in insertion order, as the wire does.
using ValueMap = std::vector<std::pair<std::string, Value>>;
using ValueList = std::vector<Value>;
using ObjectPtr = std::shared_ptr<HostObject>;

// Copies are cheap: maps and lists are shared, immutable, behind the value.
class Value {
 public:
  enum class Kind { None, Bool, Int, Double, String, Map, List, Object };

  // None: as a result it means "no result"; it never comes from a request.
  Value() = default;
  Value(bool value) : data_(value) {}
  // Every integer type; an unsigned value beyond the signed 64-bit range becomes a double.
  template <typename T, typename = std::enable_if_t<std::is_integral<T>::value &&
                                                    !std::is_same<T, bool>::value>>
  Value(T value) : data_(FromInteger(value)) {}
  Value(double value) : data_(value) {}
  Value(const char* value) : data_(std::string(value ? value : "")) {}
  Value(std::string value) : data_(std::move(value)) {}
  Value(ValueMap value) : data_(std::make_shared<const ValueMap>(std::move(value))) {}
  Value(ValueList value) : data_(std::make_shared<const ValueList>(std::move(value))) {}
  Value(ObjectPtr value) : data_(std::move(value)) {}
  template <typename T, typename = std::enable_if_t<std::is_convertible<T*, HostObject*>::value>>
  Value(std::shared_ptr<T> value) : data_(ObjectPtr(std::move(value))) {}

  // Value::Map({{"x", 1}, {"y", 2}}) and Value::List({1, 2, 3}) read better than the
  // constructors, which an initializer list would make ambiguous.
  static Value Map(std::initializer_list<std::pair<std::string, Value>> members) {
    return Value(ValueMap(members));
  }
  static Value List(std::initializer_list<Value> items) { return Value(ValueList(items)); }

  Kind GetKind() const { return static_cast<Kind>(data_.index()); }
  bool IsNone() const { return GetKind() == Kind::None; }
  bool IsBool() const { return GetKind() == Kind::Bool; }
  bool IsInt() const { return GetKind() == Kind::Int; }
  bool IsDouble() const { return GetKind() == Kind::Double; }
  bool IsNumber() const { return IsInt() || IsDouble(); }
  bool IsString() const { return GetKind() == Kind::String; }
  bool IsMap() const { return GetKind() == Kind::Map; }
  bool IsList() const { return GetKind() == Kind::List; }
  bool IsObject() const { return GetKind() == Kind::Object; }

  // Each accessor gives the zero value of its type when the kind differs.
  bool AsBool() const;
  int64_t AsInt() const;
  // An integer or a floating number, as a double.
  double AsNumber() const;
  const std::string& AsString() const;
  const ValueMap& AsMap() const;
  const ValueList& AsList() const;
  const ObjectPtr& AsObject() const;

  // The member of a map with that key, or nullptr (also when this is not a map).
  const Value* Find(const std::string& key) const;

  // Deep comparison; objects compare by identity.
  bool operator==(const Value& other) const;
  bool operator!=(const Value& other) const { return !(*this == other); }

  // The kind's name for error texts: "none", "boolean", "integer", ...
  static const char* KindName(Kind kind);

 private:
  using Data =
      std::variant<std::monostate, bool, int64_t, double, std::string,
                   std::shared_ptr<const ValueMap>, std::shared_ptr<const ValueList>, ObjectPtr>;

  template <typename T>
  static Data FromInteger(T value) {
    if (std::is_unsigned<T>::value && static_cast<uint64_t>(value) > INT64_MAX) {
      return static_cast<double>(value);
    }
    return static_cast<int64_t>(value);
  }

  // The alternatives follow the order of Kind.
  Data data_;
};

}  // namespace Host
