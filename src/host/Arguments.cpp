// Typed argument access for host functions.
#include "host/Arguments.h"

#include <cmath>

#include "host/HostObject.h"

namespace Host {

size_t Arguments::Count() const {
  size_t count = 0;
  while (Find(count) != nullptr) {
    ++count;
  }
  return count;
}

const Value& Arguments::At(size_t index) const {
  static const Value none;
  const Value* value = Find(index);
  return value ? *value : none;
}

const Value* Arguments::Find(size_t index) const { return Find(std::to_string(index)); }

const Value* Arguments::Find(const std::string& key) const {
  for (const auto& member : members_) {
    if (member.first == key) {
      return &member.second;
    }
  }
  return nullptr;
}

const Value& Arguments::Require(size_t index, Value::Kind kind, const char* expected) const {
  const Value* value = Find(index);
  if (!value) {
    ThrowMissing(index);
  }
  if (value->GetKind() != kind) {
    ThrowWrongKind(index, *value, expected);
  }
  return *value;
}

bool Arguments::GetBool(size_t index) const {
  return Require(index, Value::Kind::Bool, "a boolean").AsBool();
}

bool Arguments::GetBool(size_t index, bool defaultValue) const {
  return Has(index) ? GetBool(index) : defaultValue;
}

int64_t Arguments::GetInt(size_t index) const {
  const Value* value = Find(index);
  if (!value) {
    ThrowMissing(index);
  }
  int64_t number = 0;
  if (!AsWholeNumber(*value, number)) {
    ThrowWrongKind(index, *value, "a whole number");
  }
  return number;
}

int64_t Arguments::GetInt(size_t index, int64_t defaultValue) const {
  return Has(index) ? GetInt(index) : defaultValue;
}

double Arguments::GetNumber(size_t index) const {
  const Value* value = Find(index);
  if (!value) {
    ThrowMissing(index);
  }
  if (!value->IsNumber()) {
    ThrowWrongKind(index, *value, "a number");
  }
  return value->AsNumber();
}

double Arguments::GetNumber(size_t index, double defaultValue) const {
  return Has(index) ? GetNumber(index) : defaultValue;
}

const std::string& Arguments::GetString(size_t index) const {
  return Require(index, Value::Kind::String, "a string").AsString();
}

std::string Arguments::GetString(size_t index, const std::string& defaultValue) const {
  return Has(index) ? GetString(index) : defaultValue;
}

const ValueMap& Arguments::GetMap(size_t index) const {
  return Require(index, Value::Kind::Map, "a table").AsMap();
}

ValueList Arguments::GetList(size_t index) const {
  const Value* value = Find(index);
  if (!value) {
    ThrowMissing(index);
  }
  if (value->IsList()) {
    return value->AsList();
  }
  ValueList list;
  if (!value->IsMap() || !TableAsList(value->AsMap(), list)) {
    ThrowWrongKind(index, *value, "a list");
  }
  return list;
}

ObjectPtr Arguments::GetObject(size_t index) const {
  return Require(index, Value::Kind::Object, "an object").AsObject();
}

bool Arguments::TableAsList(const ValueMap& table, ValueList& list) {
  list.clear();
  list.reserve(table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i].first != std::to_string(i)) {
      list.clear();
      return false;
    }
    list.push_back(table[i].second);
  }
  return true;
}

bool Arguments::AsWholeNumber(const Value& value, int64_t& number) {
  if (value.IsInt()) {
    number = value.AsInt();
    return true;
  }
  if (!value.IsDouble()) {
    return false;
  }
  const double d = value.AsNumber();
  // 2^63 itself is out of range; every double below it converts exactly.
  if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 ||
      d >= 9223372036854775808.0) {
    return false;
  }
  number = static_cast<int64_t>(d);
  return true;
}

void Arguments::ThrowWrongKind(size_t index, const Value& value, const char* expected) {
  const std::string kind = Value::KindName(value.GetKind());
  const bool vowel = kind.find_first_of("aeiou") == 0;
  throw CallError("Argument " + std::to_string(index) + " must be " + expected + ", not " +
                      (vowel ? "an " : "a ") + kind,
                  ErrorCode::BadArgument);
}

void Arguments::ThrowWrongObject(size_t index, const ObjectPtr& object) {
  throw CallError("Argument " + std::to_string(index) + " is a " + object->GetKind() +
                      ", which this function does not take",
                  ErrorCode::BadArgument);
}

void Arguments::ThrowMissing(size_t index) {
  throw CallError("Argument " + std::to_string(index) + " is missing", ErrorCode::BadArgument);
}

}  // namespace Host
