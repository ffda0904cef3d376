// Writes JSON values as compact text at the end of a string, byte for byte as a variant
// map holding the same value writes it (the same escapes, the same shortest form of a
// double, null for a number that is not finite), so that a message can be written in
// one pass without building its document first.
//
//   std::string text = "{\"result\":";
//   JsonTextBuilder write(text);
//   write.StartObject(); write.Key("a"); write.Int(1); write.EndObject();
//   text += '}';
#pragma once

#include <string>

#include "variant/JsonSink.h"

namespace IPC {

class JsonTextBuilder final : public JsonSink {
 public:
  explicit JsonTextBuilder(std::string& out) : out_(out) {}
  JsonTextBuilder(const JsonTextBuilder&) = delete;
  JsonTextBuilder& operator=(const JsonTextBuilder&) = delete;

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

  // The document's own kinds, for writing a whole document through the builder.
  void Null();
  void UInt64(uint64_t value);

  // Starts the next value afresh, after the caller wrote text of its own between them.
  void NextValue();

 private:
  // The comma before every value of an object or array but its first: whether one is due
  // (Separator, which the caller then writes), or written (Separate).
  bool Separator();
  void Separate();
  void Open(char bracket);
  void Close(char bracket);
  void Quoted(std::string_view text);
  // The separator, the quoted text and `after` (unless '\0') in one append, for a text
  // that needs no escape (most names and strings); false, with nothing written, otherwise.
  bool AppendUnescaped(bool comma, std::string_view text, char after);

  std::string& out_;
  // For each open object or array, outermost first: whether it has a member yet ('1').
  std::string open_;
  bool first_ = true;
  bool afterKey_ = false;
};

}  // namespace IPC
