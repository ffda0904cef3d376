// A linear pre-scan of JSON text that rejects, before the parser sees them, inputs
// that would overflow the stack or the parser's exponent arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>

namespace IPC {

// The parser, the writers and deep copies recurse once per nesting level, so text
// nested deeper than kMaxDepth is refused. The parser adds a number's exponent to its
// fraction digit count in a signed int without an overflow check, so exponents of more
// than kMaxExponentDigits digits and numbers of more than kMaxNumberDigits digits are
// refused too. The scan never recurses and keeps its state across chunks, so a file
// can be checked block by block as it is read. Like the parser, it stops at the first
// zero byte.
class JsonGuard {
 public:
  static constexpr uint32_t kMaxDepth = 512;
  static constexpr uint32_t kMaxExponentDigits = 8;
  static constexpr uint32_t kMaxNumberDigits = 1u << 20;

  // True when the text passes; it is read up to size bytes or its first zero byte.
  static bool Accepts(const char* text, std::size_t size);

  // Scans the next chunk; false once the text is refused (then for good).
  bool Feed(const char* data, std::size_t size);
  bool Refused() const { return state == State::Refused; }
  // A zero byte was seen: the rest of the input is not part of the text.
  bool Ended() const { return state == State::Ended; }

 private:
  enum class State : uint8_t { Structure, String, Escape, Number, Exponent, Ended, Refused };

  State state = State::Structure;
  uint32_t depth = 0;
  uint32_t digits = 0;
};

}  // namespace IPC
