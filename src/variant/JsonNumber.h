// The value of a JSON number literal, read exactly: integers keep their kind as RapidJSON
// gives it, and any other number is the double nearest to its text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace IPC {

struct JsonNumber {
  // Uint: 0 to 2^32-1; Int: -2^31 to -1 (and -0); Uint64 and Int64 beyond those; Double for
  // a fraction, an exponent or an integer beyond 64 bits.
  enum class Kind { Int, Uint, Int64, Uint64, Double };
  Kind kind = Kind::Double;
  int64_t i = 0;
  uint64_t u = 0;
  double d = 0.0;
};

// Reads a literal that has already been checked as JSON number syntax. False when it is
// beyond the double range; a number too small for it reads as zero of its sign.
bool ReadJsonNumber(const char* text, std::size_t length, JsonNumber& out);

}  // namespace IPC
