// Base64 decoding with the standard alphabet.
#include "Base64.h"

#include <cstdint>

namespace ReferenceHost {

namespace {

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool Base64::Decode(const std::string& text, std::string& bytes) {
  bytes.clear();
  bytes.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int count = 0;
  size_t end = text.size();
  while (end > 0 && text[end - 1] == '=') {
    --end;
  }
  for (size_t i = 0; i < end; ++i) {
    const int value = Sextet(text[i]);
    if (value < 0) {
      return false;
    }
    bits = (bits << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      bytes.push_back(static_cast<char>((bits >> 16) & 0xFF));
      bytes.push_back(static_cast<char>((bits >> 8) & 0xFF));
      bytes.push_back(static_cast<char>(bits & 0xFF));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1) {
    return false;
  }
  if (count == 2) {
    bytes.push_back(static_cast<char>((bits >> 4) & 0xFF));
  } else if (count == 3) {
    bytes.push_back(static_cast<char>((bits >> 10) & 0xFF));
    bytes.push_back(static_cast<char>((bits >> 2) & 0xFF));
  }
  return true;
}

}  // namespace ReferenceHost
