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

// True when one of the eight bytes is a quotation mark, a backslash or zero.
inline bool WordEndsStringRun(const unsigned char* p) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  const auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  return (hasZero(w) | hasZero(w ^ (kOnes * '"')) | hasZero(w ^ (kOnes * '\\'))) != 0;
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
        while (end - p >= 8 && !WordEndsStringRun(p)) p += 8;
        while (p < end && !EndsStringRun(*p)) ++p;
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
