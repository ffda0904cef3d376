// Parses JSON text into a document, refusing numbers beyond the double range. RapidJSON
// lets a number with a long mantissa and a large exponent (180000000000000000000e288)
// through as an infinity, which no JSON text can stand for; like the other numbers it
// cannot hold, it fails the parse. Numbers are read exactly (JsonNumber): the nearest
// double, so that every double written by either side reads back bit for bit.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/reader.h>

#include <cmath>
#include <cstddef>

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

// True when stream held one JSON value with finite numbers only; then it is the
// document's root. On failure the root is left as it was. Every number is read from its
// text (kParseNumbersAsStringsFlag), so this suits any stream.
template <typename InputStream>
bool ParseFiniteJson(rapidjson::Document& document, InputStream& stream) {
  bool parsed = false;
  auto generate = [&stream, &parsed](rapidjson::Document& target) {
    rapidjson::Reader reader;
    FiniteNumbersOnly handler(target);
    parsed = reader.Parse<rapidjson::kParseDefaultFlags | rapidjson::kParseNumbersAsStringsFlag>(
                 stream, handler)
                 .Code() == rapidjson::kParseErrorNone;
    return parsed;
  };
  document.Populate(generate);
  return parsed;
}

// A zero-terminated text in memory. Unlike rapidjson::StringStream it is never copied
// while a number is parsed, so a handler sees where the parser stands.
class TextStream {
 public:
  using Ch = char;
  explicit TextStream(const char* text) : begin_(text), at_(text) {}
  Ch Peek() const { return *at_; }
  Ch Take() { return *at_++; }
  std::size_t Tell() const { return static_cast<std::size_t>(at_ - begin_); }
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }
  const char* Begin() const { return begin_; }
  const char* At() const { return at_; }

 private:
  const char* begin_;
  const char* at_;
};

// For text in memory: integers as RapidJSON reads them, and each number it reads as a
// double read again, exactly, from its text, which ends where the parser stands.
class FiniteNumbersFromText : public FiniteNumbersOnly {
 public:
  FiniteNumbersFromText(rapidjson::Document& document, const TextStream& stream)
      : FiniteNumbersOnly(document), stream_(stream) {}

  bool Double(double d) {
    const char* end = stream_.At();
    const char* start = end;
    // No character of a number can stand right before one in JSON text.
    while (start > stream_.Begin() && IsNumberCharacter(start[-1])) --start;
    if (ReadExactlyByRapidJson(start, end)) return FiniteNumbersOnly::Double(d);
    JsonNumber number;
    if (!ReadJsonNumber(start, static_cast<std::size_t>(end - start), number) ||
        number.kind != JsonNumber::Kind::Double) {
      return false;
    }
    return FiniteNumbersOnly::Double(number.d);
  }

 private:
  static bool IsNumberCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
  }

  // RapidJSON reads at most 15 significant digits as an exact integer and scales it by a
  // power of ten it holds exactly (10^0 to 10^22): one correctly rounded operation, so
  // such a number (12.5, 0.25, 4.5e3, most numbers people write) needs no second reading.
  static bool ReadExactlyByRapidJson(const char* p, const char* end) {
    if (p < end && *p == '-') ++p;
    int significant = 0;
    int fraction = 0;
    bool inFraction = false;
    for (; p < end && *p != 'e' && *p != 'E'; ++p) {
      if (*p == '.') {
        inFraction = true;
        continue;
      }
      if (significant > 0 || *p != '0') ++significant;
      if (inFraction) ++fraction;
    }
    if (significant > 15) return false;
    int exponent = 0;
    if (p < end) {
      ++p;
      const bool negative = p < end && *p == '-';
      if (p < end && (*p == '-' || *p == '+')) ++p;
      for (; p < end; ++p) {
        exponent = exponent * 10 + (*p - '0');
        if (exponent > 1000) return false;
      }
      if (negative) exponent = -exponent;
    }
    const int scale = exponent - fraction;
    return scale >= -22 && scale <= 22;
  }

  const TextStream& stream_;
};

// The same for a zero-terminated text in memory, faster: only doubles are read twice.
inline bool ParseFiniteJson(rapidjson::Document& document, const char* text) {
  bool parsed = false;
  TextStream stream(text);
  auto generate = [&stream, &parsed](rapidjson::Document& target) {
    rapidjson::Reader reader;
    FiniteNumbersFromText handler(target, stream);
    parsed = reader.Parse<rapidjson::kParseDefaultFlags>(stream, handler).Code() ==
             rapidjson::kParseErrorNone;
    return parsed;
  };
  document.Populate(generate);
  return parsed;
}

}  // namespace IPC
