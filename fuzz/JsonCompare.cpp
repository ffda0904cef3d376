// JSON equality with a tolerance for the last bits of floating numbers.
#include "JsonCompare.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace Fuzz {

namespace {

// The normal-precision parser is documented to be off by a few units in the last place.
constexpr uint64_t kMaxUlps = 8;

// Doubles mapped to integers in the order of their values, so that neighbours differ by 1.
int64_t Ordered(double d) {
  int64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits < 0 ? INT64_MIN - bits : bits;
}

bool SameDouble(double a, double b, Doubles doubles) {
  if (a == b) return std::signbit(a) == std::signbit(b) || doubles == Doubles::NearlyEqual;
  if (doubles == Doubles::Exact || !std::isfinite(a) || !std::isfinite(b)) return false;
  const int64_t x = Ordered(a);
  const int64_t y = Ordered(b);
  const uint64_t distance = x > y ? static_cast<uint64_t>(x) - static_cast<uint64_t>(y)
                                  : static_cast<uint64_t>(y) - static_cast<uint64_t>(x);
  return distance <= kMaxUlps;
}

bool SameNumber(const rapidjson::Value& a, const rapidjson::Value& b, Doubles doubles) {
  if (a.IsDouble() != b.IsDouble()) return false;
  if (a.IsDouble()) return SameDouble(a.GetDouble(), b.GetDouble(), doubles);
  if (a.IsInt64() != b.IsInt64() || a.IsUint64() != b.IsUint64()) return false;
  return a.IsInt64() ? a.GetInt64() == b.GetInt64() : a.GetUint64() == b.GetUint64();
}

}  // namespace

bool SameJson(const rapidjson::Value& a, const rapidjson::Value& b, Doubles doubles,
              NonFinite nonFinite) {
  if (nonFinite == NonFinite::WrittenAsNull && a.IsDouble() && !std::isfinite(a.GetDouble())) {
    return b.IsNull();
  }
  if (a.GetType() != b.GetType()) return false;
  switch (a.GetType()) {
    case rapidjson::kNullType:
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      return true;
    case rapidjson::kStringType:
      return a.GetStringLength() == b.GetStringLength() &&
             std::memcmp(a.GetString(), b.GetString(), a.GetStringLength()) == 0;
    case rapidjson::kNumberType:
      return SameNumber(a, b, doubles);
    case rapidjson::kArrayType: {
      if (a.Size() != b.Size()) return false;
      for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
        if (!SameJson(a[i], b[i], doubles, nonFinite)) return false;
      }
      return true;
    }
    case rapidjson::kObjectType: {
      if (a.MemberCount() != b.MemberCount()) return false;
      for (auto x = a.MemberBegin(), y = b.MemberBegin(); x != a.MemberEnd(); ++x, ++y) {
        if (!SameJson(x->name, y->name, doubles) ||
            !SameJson(x->value, y->value, doubles, nonFinite)) {
          return false;
        }
      }
      return true;
    }
  }
  return false;
}

bool ParseExactly(const std::string& text, rapidjson::Document& document) {
  document.Parse<rapidjson::kParseFullPrecisionFlag>(text.data(), text.size());
  return !document.HasParseError();
}

namespace {

bool AllFinite(const rapidjson::Value& value) {
  if (value.IsDouble()) return std::isfinite(value.GetDouble());
  if (value.IsArray()) {
    for (const auto& element : value.GetArray()) {
      if (!AllFinite(element)) return false;
    }
  }
  if (value.IsObject()) {
    for (const auto& member : value.GetObject()) {
      if (!AllFinite(member.value)) return false;
    }
  }
  return true;
}

// Sets every double of `parsed` to the one nearest to its text, found in `asText` (the same
// text parsed with numbers kept as strings), as the map reads numbers. RapidJSON's normal
// precision may land a few steps off, or read a number just below the double range's
// rounding edge (1.7976931348623158e308) as infinite; its full precision goes wrong at the
// range's ends. strtod rounds correctly.
void ReadDoublesExactly(rapidjson::Value& parsed, const rapidjson::Value& asText) {
  if (parsed.IsDouble() && asText.IsString()) {
    parsed.SetDouble(std::strtod(asText.GetString(), nullptr));
  } else if (parsed.IsArray() && asText.IsArray() && parsed.Size() == asText.Size()) {
    for (rapidjson::SizeType i = 0; i < parsed.Size(); ++i) ReadDoublesExactly(parsed[i], asText[i]);
  } else if (parsed.IsObject() && asText.IsObject() && parsed.MemberCount() == asText.MemberCount()) {
    auto text = asText.MemberBegin();
    for (auto member = parsed.MemberBegin(); member != parsed.MemberEnd(); ++member, ++text) {
      ReadDoublesExactly(member->value, text->value);
    }
  }
}

}  // namespace

bool ParsesAsAMap(const std::string& text, rapidjson::Document& document) {
  if (document.Parse(text.c_str()).HasParseError()) return false;
  rapidjson::Document asText;
  asText.Parse<rapidjson::kParseNumbersAsStringsFlag>(text.c_str());
  ReadDoublesExactly(document, asText);
  return AllFinite(document);
}

}  // namespace Fuzz
