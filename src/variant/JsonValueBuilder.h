// Builds JSON values straight into a variant map's document, one event at a time, for
// code above the variant layer (the wire codec) that writes a whole value in one pass
// without a copy per nesting level and without seeing the JSON library.
//
//   JsonValueBuilder build(map);
//   build.StartObject(); build.Key("type"); build.String("table"); ... build.EndObject();
//   build.AppendAs("0");   // the finished value becomes the member "0" of map
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "variant/JsonSink.h"
#include "variant/JsonView.h"

namespace IPC {

class KvVariantMap;

class JsonValueBuilder final : public JsonSink {
 public:
  // Values are made in the pool of target's document, so storing them copies nothing.
  explicit JsonValueBuilder(KvVariantMap& target);
  ~JsonValueBuilder() override;
  JsonValueBuilder(const JsonValueBuilder&) = delete;
  JsonValueBuilder& operator=(const JsonValueBuilder&) = delete;

  // Inside an object each value follows its Key, inside an array it is the next element; the outermost value is the finished one.
  void Bool(bool value) override;
  void Int(int32_t value) override;
  void Int64(int64_t value) override;
  void Double(double value) override;
  void String(std::string_view text) override;
  void StartObject() override;
  void Key(std::string_view name) override;
  void EndObject() override;
  void StartArray() override;
  void EndArray() override;

  // A deep copy of a viewed value (from any document) as the next value; an absent
  // view copies as null.
  void Copy(JsonView value);

  // Adds the finished value to target as a member named key, after the present ones,
  // without looking for an earlier member of that name: for names known to be new.
  void AppendAs(std::string_view key);
  // Stores the finished value under key as KvVariantMap::Set does: an object replaces a
  // present member by moving to the end, any other value replaces it in place.
  void StoreAs(const std::string& key);
  // Makes the finished value target's whole content (a map that is valid only when the
  // value is an object).
  void StoreAsRoot();
  // Nothing is stored when target is not a valid map; the built value is dropped.

 private:
  struct Stack;
  KvVariantMap& target_;
  std::unique_ptr<Stack> stack_;
};

}  // namespace IPC
