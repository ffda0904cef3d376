// Writes one JSON value as compact text at the end of a string, byte for byte as a
// variant map holding the same value writes it, so that a message can be written in one
// pass without building its document first.
//
//   std::string text = "{\"result\":";
//   JsonTextBuilder write(text);
//   write.StartObject(); write.Key("a"); write.Int(1); write.EndObject();
//   text += '}';
#pragma once

#include <memory>
#include <string>

#include "variant/JsonSink.h"

namespace IPC {

class JsonTextBuilder final : public JsonSink {
 public:
  explicit JsonTextBuilder(std::string& out);
  ~JsonTextBuilder() override;
  JsonTextBuilder(const JsonTextBuilder&) = delete;
  JsonTextBuilder& operator=(const JsonTextBuilder&) = delete;

  // Numbers that are not finite are written as null, as the variant map writes them.
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

  // Starts the next value afresh, after the caller wrote text of its own between them.
  void NextValue();

 private:
  struct Writer;
  std::unique_ptr<Writer> writer_;
};

}  // namespace IPC
