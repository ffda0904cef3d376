// The JSON pre-scan: a state machine over structure, strings and numbers, with tight
// loops over the long runs (string content, digits, white space) that make up most text.
#include "variant/JsonGuard.h"

#include <array>
#include <cstring>

namespace IPC {

namespace {

// What a byte means outside strings and numbers.
enum ByteClass : uint8_t { kOther, kQuote, kOpen, kClose, kDigit, kMinus, kZero };

constexpr std::array<uint8_t, 256> MakeStructureClasses() {
  std::array<uint8_t, 256> classes{};
  classes['"'] = kQuote;
  classes['['] = classes['{'] = kOpen;
  classes[']'] = classes['}'] = kClose;
  for (int c = '0'; c <= '9'; ++c) classes[c] = kDigit;
  classes['-'] = kMinus;
  classes[0] = kZero;
  return classes;
}
constexpr std::array<uint8_t, 256> kStructureClasses = MakeStructureClasses();

constexpr bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool EndsStringRun(unsigned char c) { return c == '"' || c == '\\' || c == 0; }

// The high bit of each of the eight bytes that is a quotation mark, a backslash or zero.
// Bytes above the first such byte may be marked wrongly, but the lowest mark is exact.
inline uint64_t StringRunEnds(const unsigned char* p) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  const auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  return hasZero(w) | hasZero(w ^ (kOnes * '"')) | hasZero(w ^ (kOnes * '\\'));
}

// Where the run of string content from p ends: its first quotation mark, backslash or
// zero byte, or end. Eight bytes at a time; on a little-endian machine the first marked
// byte of a word is found at once, which is what most short strings need.
inline const unsigned char* StringRunEnd(const unsigned char* p, const unsigned char* end) {
  while (end - p >= 8) {
    const uint64_t marks = StringRunEnds(p);
    if (marks != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      return p + (__builtin_ctzll(marks) >> 3);
#else
      break;
#endif
    }
    p += 8;
  }
  while (p < end && !EndsStringRun(*p)) ++p;
  return p;
}

}  // namespace

bool JsonGuard::Accepts(const char* text, std::size_t size) {
  JsonGuard guard;
  return guard.Feed(text, size);
}

bool JsonGuard::Feed(const char* data, std::size_t size) {
  // Work on locals: the members would otherwise be reloaded after every store, since
  // the text's bytes may alias them.
  State s = state;
  uint32_t level = depth;
  uint32_t count = digits;
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* const end = p + size;
  while (p < end && s != State::Ended && s != State::Refused) {
    switch (s) {
      case State::Structure: {
        uint8_t byteClass = kOther;
        while (p < end && (byteClass = kStructureClasses[*p]) == kOther) ++p;
        if (p == end) break;
        ++p;
        switch (byteClass) {
          case kQuote:
            s = State::String;
            break;
          case kOpen:
            if (++level > kMaxDepth) s = State::Refused;
            break;
          case kClose:
            if (level > 0) --level;
            break;
          case kDigit:
            s = State::Number;
            count = 1;
            break;
          case kMinus:
            s = State::Number;
            count = 0;
            break;
          default:
            s = State::Ended;
            break;
        }
        break;
      }
      case State::String:
        p = StringRunEnd(p, end);
        if (p == end) break;
        s = *p == '"' ? State::Structure : *p == '\\' ? State::Escape : State::Ended;
        ++p;
        break;
      case State::Escape:
        s = *p++ == 0 ? State::Ended : State::String;
        break;
      case State::Number:
        while (p < end && IsDigit(*p)) {
          ++p;
          ++count;
        }
        if (count > kMaxNumberDigits) {
          s = State::Refused;
        } else if (p == end) {
          break;
        } else if (*p == '.' || *p == '-' || *p == '+') {
          ++p;
        } else if (*p == 'e' || *p == 'E') {
          ++p;
          s = State::Exponent;
          count = 0;
        } else {
          s = State::Structure;  // the byte after the number is structure
        }
        break;
      case State::Exponent:
        if (IsDigit(*p)) {
          if (++count > kMaxExponentDigits) s = State::Refused;
          ++p;
        } else if (*p == '-' || *p == '+') {
          ++p;
        } else {
          s = State::Structure;
        }
        break;
      case State::Ended:
      case State::Refused:
        break;
    }
  }
  state = s;
  depth = level;
  digits = count;
  return s != State::Refused;
}

}  // namespace IPC
