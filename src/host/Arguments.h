// The decoded arguments of one call, with typed accessors that fail the call with a clear
// text when an argument is missing or of the wrong kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/CallError.h"
#include "host/Value.h"

namespace Host {

// Positional arguments are keyed "0", "1", ... as the plug-in sends them; other keys
// (the plug-in's own operations use "timeout" and "id") are reached with Find.
// The typed accessors throw CallError with ErrorCode::BadArgument, which the dispatcher
// turns into the failure response; the forms with a default accept a missing argument.
class Arguments {
 public:
  Arguments() = default;
  explicit Arguments(ValueMap members) : members_(std::move(members)) {}

  // The number of consecutive positional arguments "0", "1", ... present.
  size_t Count() const;
  bool Has(size_t index) const { return Find(index) != nullptr; }
  // The argument, or a None value when absent.
  const Value& At(size_t index) const;
  const Value* Find(size_t index) const;
  const Value* Find(const std::string& key) const;
  const ValueMap& GetMembers() const { return members_; }

  bool GetBool(size_t index) const;
  bool GetBool(size_t index, bool defaultValue) const;
  // A whole number: an integer, or a floating number without fraction within 64 bits.
  int64_t GetInt(size_t index) const;
  int64_t GetInt(size_t index, int64_t defaultValue) const;
  double GetNumber(size_t index) const;
  double GetNumber(size_t index, double defaultValue) const;
  const std::string& GetString(size_t index) const;
  std::string GetString(size_t index, const std::string& defaultValue) const;
  const ValueMap& GetMap(size_t index) const;
  // A list, or a table keyed "0", "1", ... in order, which is how a JavaScript array
  // arrives.
  ValueList GetList(size_t index) const;
  ObjectPtr GetObject(size_t index) const;
  // An object of the host's own class T (derived from HostObject).
  template <typename T>
  std::shared_ptr<T> GetObjectAs(size_t index) const {
    ObjectPtr object = GetObject(index);
    std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) {
      ThrowWrongObject(index, object);
    }
    return typed;
  }

  // The list form of a table keyed "0", "1", ... in order; false for any other table.
  static bool TableAsList(const ValueMap& table, ValueList& list);
  // The whole-number reading of an integer, or of a floating number without fraction.
  static bool AsWholeNumber(const Value& value, int64_t& number);

 private:
  const Value& Require(size_t index, Value::Kind kind, const char* expected) const;
  [[noreturn]] static void ThrowWrongKind(size_t index, const Value& value, const char* expected);
  [[noreturn]] static void ThrowWrongObject(size_t index, const ObjectPtr& object);
  [[noreturn]] static void ThrowMissing(size_t index);

  ValueMap members_;
};

}  // namespace Host
