// Writes a JSON value in the compact or the indented layout, with non-finite numbers
// written as null so that the output is always valid JSON.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "variant/JsonTextBuilder.h"

namespace IPC {

// RapidJSON's writers refuse NaN and infinities and stop mid-document; this one writes
// null in their place, as JavaScript's JSON.stringify does.
template <typename BaseWriter>
class NonFiniteAsNullWriter : public BaseWriter {
 public:
  using BaseWriter::BaseWriter;

  bool Double(double d) { return std::isfinite(d) ? BaseWriter::Double(d) : BaseWriter::Null(); }
};

// RapidJSON's handler interface over the text builder, which writes the compact layout
// byte for byte as RapidJSON's own writer does, but copies unescaped runs whole.
class TextBuilderHandler {
 public:
  explicit TextBuilderHandler(std::string& out) : builder(out) {}
  bool Null() { builder.Null(); return true; }
  bool Bool(bool b) { builder.Bool(b); return true; }
  bool Int(int i) { builder.Int(i); return true; }
  bool Uint(unsigned u) { builder.Int64(u); return true; }
  bool Int64(int64_t i) { builder.Int64(i); return true; }
  bool Uint64(uint64_t u) { builder.UInt64(u); return true; }
  bool Double(double d) { builder.Double(d); return true; }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    builder.String(std::string_view(text, length));
    return true;
  }
  bool StartObject() { builder.StartObject(); return true; }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    builder.Key(std::string_view(text, length));
    return true;
  }
  bool EndObject(rapidjson::SizeType) { builder.EndObject(); return true; }
  bool StartArray() { builder.StartArray(); return true; }
  bool EndArray(rapidjson::SizeType) { builder.EndArray(); return true; }

 private:
  JsonTextBuilder builder;
};

// The compact text of a value appended to out.
inline void AppendCompactJsonText(const rapidjson::Value& root, std::string& out) {
  TextBuilderHandler handler(out);
  root.Accept(handler);
}

// Compact: no white space. Indented: four blanks per level, a line feed before each
// member and element. Neither ends with a line feed.
template <typename OutputStream>
void WriteJsonText(const rapidjson::Value& root, OutputStream& out, bool compact) {
  if (compact) {
    NonFiniteAsNullWriter<rapidjson::Writer<OutputStream>> writer(out);
    root.Accept(writer);
  } else {
    NonFiniteAsNullWriter<rapidjson::PrettyWriter<OutputStream>> writer(out);
    root.Accept(writer);
  }
}

}  // namespace IPC
