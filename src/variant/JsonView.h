// A read-only look at one value inside a variant map's JSON document, for code above the
// variant layer that walks a document in one pass (the wire codec) without a copy and
// without seeing the JSON library. A view lives as long as the map it looks into, and
// only while that map is not changed.
#pragma once

#include <cstdint>
#include <string_view>

namespace IPC {

class KvVariantMap;

enum class JsonKind { Absent, Null, Bool, Int64, UInt64, Double, String, Object, Array };

class JsonView {
 public:
  // Absent: what a lookup of a missing member gives.
  JsonView() = default;
  // The root of the map's document.
  static JsonView Of(const KvVariantMap& map);

  // Int64 is every integer a signed 64-bit integer holds; UInt64 only those above it;
  // Double every number written with a fraction or an exponent.
  JsonKind Kind() const;
  bool IsPresent() const { return node_ != nullptr; }

  // Each reader gives the zero value for a value of another kind.
  bool GetBool() const;
  int64_t GetInt64() const;
  uint64_t GetUInt64() const;
  // Any number, converted.
  double GetDouble() const;
  // The whole text, zero bytes included.
  std::string_view GetString() const;

  // Members of an object or elements of an array; 0 for anything else.
  uint32_t Size() const;
  JsonView Element(uint32_t index) const;
  std::string_view MemberName(uint32_t index) const;
  JsonView MemberValue(uint32_t index) const;
  // The first member of that name; absent when there is none or this is no object.
  JsonView Find(std::string_view name) const;
  // The value as a keyed read of a variant map sees it: a list by its first element (an
  // empty list is absent), anything else as itself.
  JsonView Present() const;

  // A new map whose root is a deep copy of this value (a map that is not valid when the
  // value is no object), for the readers that work on whole maps.
  KvVariantMap CopyToMap() const;

 private:
  friend class JsonValueBuilder;  // copies viewed values into another document
  explicit JsonView(const void* node) : node_(node) {}
  const void* node_ = nullptr;
};

}  // namespace IPC
