// The storage behind a KvVariantMap: one JSON document whose root object holds one
// member per key, and the shared lookup, store and text routines the map forwards to.
#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "variant/KvVariantMap.h"

namespace IPC {

// Site numbers handed to the missing-key reporter, one per family of getters.
namespace MissingKeySite {
constexpr int32_t kValue = 1015;
constexpr int32_t kList = 1052;
constexpr int32_t kKind = 1078;
constexpr int32_t kString = 129;
constexpr int32_t kMap = 166;
constexpr int32_t kVariantMap = 184;
constexpr int32_t kStringList = 213;
constexpr int32_t kMapList = 258;
constexpr int32_t kVariantMapList = 279;
}  // namespace MissingKeySite

class KvVariantMapImpl {
 public:
  using Value = rapidjson::Value;
  using Allocator = rapidjson::Document::AllocatorType;
  using MissingKeyReporter = std::function<void(const std::string& key, int32_t site)>;

  // What a lookup does on a map that is not valid: return the zero value at once, or
  // (the string and shared-map getters) treat the key as missing.
  enum class OnInvalid { ZeroValue, MissingKey };

  // An empty object root and the logging reporter.
  KvVariantMapImpl();

  // Exchanges the whole content (document and its pool) with another map's.
  void SwapContent(KvVariantMapImpl& other) noexcept;
  // Replaces the content by a new document whose root is of the given type.
  void ResetContent(rapidjson::Type rootType);

  static KvVariantMapImpl& Of(const KvVariantMap& map) { return *map.impl; }

  bool IsValid() const { return document.IsObject(); }
  Allocator& GetAllocator() { return document.GetAllocator(); }

  // The first member named key; null when absent or when the map is not valid.
  const Value* Find(const std::string& key) const;

  // Builders of values in this document (strings and maps are copied in).
  Value MakeString(const char* data, std::size_t size);
  Value CopyOf(const IVariantMap& map);

  // Stores value under key, replacing a present member in place (its position kept).
  void Store(const std::string& key, Value& value);
  // Stores value under key as the last member, erasing a present member first.
  void StoreLast(const std::string& key, Value& value);
  // Erases the first member named key; false when there is none.
  bool Erase(const std::string& key);

  void Report(const std::string& key, int32_t site) const { missingKeyReporter(key, site); }

  // The single-value lookup: a missing key gives *fallback when there is one, else a
  // report and the zero value; a list gives its element 0 (an empty list the zero value).
  template <typename T, typename Read>
  T Get(const std::string& key, int32_t site, const T* fallback, Read read,
        OnInvalid onInvalid = OnInvalid::ZeroValue) const {
    if (onInvalid == OnInvalid::ZeroValue && !IsValid()) return T();
    const Value* value = Find(key);
    if (value == nullptr) {
      if (fallback != nullptr) return *fallback;
      Report(key, site);
      return T();
    }
    return ReadPresent<T>(*value, read);
  }

  // A present value read by the single-value rule: element 0 of a list (the zero value
  // for an empty list), else the value itself.
  template <typename T, typename Read>
  static T ReadPresent(const Value& value, Read read) {
    if (value.IsArray()) return value.Empty() ? T() : read(*value.Begin());
    return read(value);
  }

  // The list lookup: an array reads element by element, any other value as a list of one.
  template <typename T, typename Read>
  std::vector<T> GetList(const std::string& key, int32_t site, const std::vector<T>* fallback,
                         Read read, OnInvalid onInvalid = OnInvalid::ZeroValue) const {
    if (onInvalid == OnInvalid::ZeroValue && !IsValid()) return {};
    const Value* value = Find(key);
    if (value == nullptr) {
      if (fallback != nullptr) return *fallback;
      Report(key, site);
      return {};
    }
    std::vector<T> list;
    if (value->IsArray()) {
      list.reserve(value->Size());
      for (const Value& element : value->GetArray()) list.push_back(read(element));
    } else {
      list.push_back(read(*value));
    }
    return list;
  }

  // A kind query: a missing key is reported (site 1078); a list is judged by element 0.
  bool Is(const std::string& key, bool (*test)(const Value&)) const;

  // Sets value under key, built by make in this document, unless the map is not valid.
  template <typename Make>
  void Set(const std::string& key, Make make) {
    if (!IsValid()) return;
    Value value = make();
    Store(key, value);
  }

  // Sets a list, each element built by make, unless the map is not valid.
  template <typename T, typename Make>
  void SetList(const std::string& key, const std::vector<T>& list, Make make) {
    if (!IsValid()) return;
    Value array(rapidjson::kArrayType);
    array.Reserve(static_cast<rapidjson::SizeType>(list.size()), GetAllocator());
    for (const auto& element : list) {
      Value item = make(element);
      array.PushBack(item, GetAllocator());
    }
    if constexpr (std::is_same_v<T, KvVariantMap> ||
                  std::is_same_v<T, std::shared_ptr<IVariantMap>>) {
      StoreLast(key, array);
    } else {
      Store(key, array);
    }
  }

  // The root as JSON text appended to out; nothing for a map that is not valid.
  void AppendJSON(std::string& out, bool compact) const;
  // Parses text into the document after the guard has passed it; on failure logs
  // and keeps the previous content.
  void ParseJSON(const std::string& text);

  // The pool every value of the document lives in. It is created with the document
  // and travels with it when contents are swapped. Its chunks are small: a map is
  // made for every message, and RapidJSON's default 64 KB chunks make the C heap
  // trim and regrow on nearly every call.
  std::unique_ptr<Allocator> pool;
  rapidjson::Document document;
  MissingKeyReporter missingKeyReporter;
};

}  // namespace IPC
