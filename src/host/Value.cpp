// Typed access and comparison of host values.
#include "host/Value.h"

namespace Host {

namespace {

const std::string& EmptyString() {
  static const std::string empty;
  return empty;
}
const ValueMap& EmptyMap() {
  static const ValueMap empty;
  return empty;
}
const ValueList& EmptyList() {
  static const ValueList empty;
  return empty;
}
const ObjectPtr& NullObject() {
  static const ObjectPtr none;
  return none;
}

}  // namespace

bool Value::AsBool() const {
  const bool* value = std::get_if<bool>(&data_);
  return value ? *value : false;
}

int64_t Value::AsInt() const {
  const int64_t* value = std::get_if<int64_t>(&data_);
  return value ? *value : 0;
}

double Value::AsNumber() const {
  if (const double* value = std::get_if<double>(&data_)) {
    return *value;
  }
  return static_cast<double>(AsInt());
}

const std::string& Value::AsString() const {
  const std::string* value = std::get_if<std::string>(&data_);
  return value ? *value : EmptyString();
}

const ValueMap& Value::AsMap() const {
  const auto* value = std::get_if<std::shared_ptr<const ValueMap>>(&data_);
  return value && *value ? **value : EmptyMap();
}

const ValueList& Value::AsList() const {
  const auto* value = std::get_if<std::shared_ptr<const ValueList>>(&data_);
  return value && *value ? **value : EmptyList();
}

const ObjectPtr& Value::AsObject() const {
  const ObjectPtr* value = std::get_if<ObjectPtr>(&data_);
  return value ? *value : NullObject();
}

const Value* Value::Find(const std::string& key) const {
  for (const auto& member : AsMap()) {
    if (member.first == key) {
      return &member.second;
    }
  }
  return nullptr;
}

bool Value::operator==(const Value& other) const {
  if (GetKind() != other.GetKind()) {
    return false;
  }
  switch (GetKind()) {
    case Kind::None:
      return true;
    case Kind::Bool:
      return AsBool() == other.AsBool();
    case Kind::Int:
      return AsInt() == other.AsInt();
    case Kind::Double:
      return AsNumber() == other.AsNumber();
    case Kind::String:
      return AsString() == other.AsString();
    case Kind::Map:
      return AsMap() == other.AsMap();
    case Kind::List:
      return AsList() == other.AsList();
    case Kind::Object:
      return AsObject() == other.AsObject();
  }
  return false;
}

const char* Value::KindName(Kind kind) {
  switch (kind) {
    case Kind::None:
      return "nothing";
    case Kind::Bool:
      return "boolean";
    case Kind::Int:
      return "integer";
    case Kind::Double:
      return "number";
    case Kind::String:
      return "string";
    case Kind::Map:
      return "table";
    case Kind::List:
      return "list";
    case Kind::Object:
      return "object";
  }
  return "unknown";
}

}  // namespace Host
