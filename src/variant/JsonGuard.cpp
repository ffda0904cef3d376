// The JSON pre-scan: a byte-at-a-time state machine over structure, strings and numbers.
#include "variant/JsonGuard.h"

namespace IPC {

bool JsonGuard::Accepts(const char* text, std::size_t size) {
  JsonGuard guard;
  return guard.Feed(text, size);
}

void JsonGuard::Structural(char c) {
  switch (c) {
    case '"':
      state = State::String;
      break;
    case '[':
    case '{':
      if (++depth > kMaxDepth) state = State::Refused;
      break;
    case ']':
    case '}':
      if (depth > 0) --depth;
      break;
    case '-':
      state = State::Number;
      digits = 0;
      break;
    case '\0':
      state = State::Ended;
      break;
    default:
      if (c >= '0' && c <= '9') {
        state = State::Number;
        digits = 1;
      }
      break;
  }
}

bool JsonGuard::Feed(const char* data, std::size_t size) {
  const char* p = data;
  const char* const end = data + size;
  while (p < end) {
    switch (state) {
      case State::Structure:
        Structural(*p++);
        break;
      case State::String:
        // Most bytes of a document are string content: skip them in a tight loop.
        while (p < end && *p != '"' && *p != '\\' && *p != '\0') ++p;
        if (p == end) break;
        if (*p == '"') {
          state = State::Structure;
        } else if (*p == '\\') {
          state = State::Escape;
        } else {
          state = State::Ended;
        }
        ++p;
        break;
      case State::Escape:
        state = *p++ == '\0' ? State::Ended : State::String;
        break;
      case State::Number: {
        const char c = *p;
        if (c >= '0' && c <= '9') {
          if (++digits > kMaxNumberDigits) state = State::Refused;
          ++p;
        } else if (c == '.' || c == '-' || c == '+') {
          ++p;
        } else if (c == 'e' || c == 'E') {
          state = State::Exponent;
          digits = 0;
          ++p;
        } else {
          state = State::Structure;  // the byte after the number is structure
        }
        break;
      }
      case State::Exponent: {
        const char c = *p;
        if (c >= '0' && c <= '9') {
          if (++digits > kMaxExponentDigits) state = State::Refused;
          ++p;
        } else if (c == '-' || c == '+') {
          ++p;
        } else {
          state = State::Structure;
        }
        break;
      }
      case State::Ended:
        return true;
      case State::Refused:
        return false;
    }
  }
  return state != State::Refused;
}

}  // namespace IPC
