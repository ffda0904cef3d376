// Parses JSON text into a document, refusing numbers beyond the double range. RapidJSON
// lets a number with a long mantissa and a large exponent (180000000000000000000e288)
// through as an infinity, which no JSON text can stand for; like the other numbers it
// cannot hold, it fails the parse. Numbers are read exactly (JsonNumber): the nearest
// double, so that every double written by either side reads back bit for bit.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/reader.h>

#include <cmath>

#include "variant/JsonNumber.h"

namespace IPC {

// Hands every parse event to the document, except a number that is not finite.
class FiniteNumbersOnly {
 public:
  using Ch = char;
  explicit FiniteNumbersOnly(rapidjson::Document& document) : document_(document) {}

  bool Null() { return document_.Null(); }
  bool Bool(bool b) { return document_.Bool(b); }
  bool Int(int i) { return document_.Int(i); }
  bool Uint(unsigned u) { return document_.Uint(u); }
  bool Int64(int64_t i) { return document_.Int64(i); }
  bool Uint64(uint64_t u) { return document_.Uint64(u); }
  bool Double(double d) { return std::isfinite(d) && document_.Double(d); }
  // Every number comes as its text (kParseNumbersAsStringsFlag) and is read here.
  bool RawNumber(const Ch* s, rapidjson::SizeType n, bool) {
    JsonNumber number;
    if (!ReadJsonNumber(s, n, number)) return false;
    switch (number.kind) {
      case JsonNumber::Kind::Uint: return document_.Uint(static_cast<unsigned>(number.u));
      case JsonNumber::Kind::Uint64: return document_.Uint64(number.u);
      case JsonNumber::Kind::Int: return document_.Int(static_cast<int>(number.i));
      case JsonNumber::Kind::Int64: return document_.Int64(number.i);
      case JsonNumber::Kind::Double: return Double(number.d);
    }
    return false;
  }
  bool String(const Ch* s, rapidjson::SizeType n, bool copy) { return document_.String(s, n, copy); }
  bool StartObject() { return document_.StartObject(); }
  bool Key(const Ch* s, rapidjson::SizeType n, bool copy) { return document_.Key(s, n, copy); }
  bool EndObject(rapidjson::SizeType members) { return document_.EndObject(members); }
  bool StartArray() { return document_.StartArray(); }
  bool EndArray(rapidjson::SizeType elements) { return document_.EndArray(elements); }

 private:
  rapidjson::Document& document_;
};

constexpr unsigned kJsonParseFlags =
    rapidjson::kParseDefaultFlags | rapidjson::kParseNumbersAsStringsFlag;

// True when stream held one JSON value with finite numbers only; then it is the
// document's root. On failure the root is left as it was.
template <typename InputStream>
bool ParseFiniteJson(rapidjson::Document& document, InputStream& stream) {
  bool parsed = false;
  auto generate = [&stream, &parsed](rapidjson::Document& target) {
    rapidjson::Reader reader;
    FiniteNumbersOnly handler(target);
    parsed = reader.Parse<kJsonParseFlags>(stream, handler).Code() ==
             rapidjson::kParseErrorNone;
    return parsed;
  };
  document.Populate(generate);
  return parsed;
}

}  // namespace IPC
