// Exact reading of JSON numbers. RapidJSON's own reading is one step off for about a third
// of all doubles at normal precision, and its full-precision mode (1.1.0) reads out of
// bounds on a fraction with many leading zeros.
#include "variant/JsonNumber.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>

namespace IPC {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// For a literal beyond the double range: whether it is too large (rather than too small).
// Its decimal magnitude is the count of whole digits after leading zeros, or minus the
// leading zeros of its fraction, plus its exponent (at most 8 digits, as JsonGuard lets
// through).
bool TooLarge(const char* p, const char* end) {
  if (p < end && *p == '-') ++p;
  int64_t magnitude = 0;
  bool seenNonZero = false;
  for (; p < end && IsDigit(*p); ++p) {
    if (*p != '0') seenNonZero = true;
    if (seenNonZero) ++magnitude;
  }
  if (p < end && *p == '.') {
    for (++p; p < end && IsDigit(*p) && !seenNonZero; ++p) {
      if (*p != '0') {
        seenNonZero = true;
      } else {
        --magnitude;
      }
    }
    while (p < end && IsDigit(*p)) ++p;
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    int64_t exponent = 0;
    for (; p < end && IsDigit(*p) && exponent < (int64_t{1} << 40); ++p) {
      exponent = exponent * 10 + (*p - '0');
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude > 0;
}

bool ReadDouble(const char* text, std::size_t length, double& out) {
  const char* end = text + length;
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
  const std::from_chars_result read = std::from_chars(text, end, out);
  if (read.ec == std::errc::result_out_of_range) {
    if (TooLarge(text, end)) return false;
    out = *text == '-' ? -0.0 : 0.0;
    return true;
  }
  return read.ec == std::errc() && read.ptr == end;
#else
  // A standard library without floating-point from_chars: the C library's reading.
  const std::string copy(text, length);
  char* stop = nullptr;
  out = std::strtod(copy.c_str(), &stop);
  return stop == copy.c_str() + copy.size() && std::isfinite(out);
#endif
}

}  // namespace

bool ReadJsonNumber(const char* text, std::size_t length, JsonNumber& out) {
  const char* p = text;
  const char* end = text + length;
  const bool minus = p < end && *p == '-';
  if (minus) ++p;
  uint64_t value = 0;
  bool overflow = false;
  for (; p < end && IsDigit(*p); ++p) {
    const uint64_t digit = static_cast<uint64_t>(*p - '0');
    if (value > (UINT64_MAX - digit) / 10) {
      overflow = true;
    } else {
      value = value * 10 + digit;
    }
  }
  if (p == end && !overflow) {
    if (!minus) {
      if (value <= UINT32_MAX) {
        out.kind = JsonNumber::Kind::Uint;
      } else {
        out.kind = JsonNumber::Kind::Uint64;
      }
      out.u = value;
      return true;
    }
    if (value <= uint64_t{1} << 63) {
      out.kind = value <= uint64_t{1} << 31 ? JsonNumber::Kind::Int : JsonNumber::Kind::Int64;
      out.i = static_cast<int64_t>(~value + 1);
      return true;
    }
  }
  out.kind = JsonNumber::Kind::Double;
  return ReadDouble(text, length, out.d);
}

}  // namespace IPC
