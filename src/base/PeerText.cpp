// UTF-8 reading, and the escaping and bounding of peer-controlled text.
#include "base/PeerText.h"

namespace IPC {

namespace {

const char kHex[] = "0123456789abcdef";

bool IsContinuation(unsigned char c, unsigned char low = 0x80, unsigned char high = 0xBF) {
  return c >= low && c <= high;
}

// Code points that change how a terminal or an editor shows the rest of the line.
bool IsHiddenControl(uint32_t cp) {
  return (cp >= 0x80 && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

Utf8Sequence ReadUtf8Sequence(std::string_view text) {
  Utf8Sequence sequence;
  if (text.empty()) return sequence;
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  sequence.length = 1;
  if (lead < 0x80) {
    sequence.valid = true;
    sequence.codePoint = lead;
    return sequence;
  }
  std::size_t need;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  uint32_t codePoint;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    codePoint = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    codePoint = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return sequence;  // a continuation byte, C0, C1 or F5 to FF: one ill-formed byte
  }
  for (std::size_t i = 1; i <= need; ++i) {
    if (i >= text.size() || !IsContinuation(byte(i), i == 1 ? low : 0x80, i == 1 ? high : 0xBF)) {
      return sequence;  // the maximal subpart ends before this byte
    }
    codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    sequence.length = i + 1;
  }
  sequence.valid = true;
  sequence.codePoint = codePoint;
  return sequence;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    // Runs of ASCII are copied whole.
    std::size_t ascii = at;
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    out.append(text.data() + at, ascii - at);
    at = ascii;
    if (at == text.size()) break;
    const Utf8Sequence sequence = ReadUtf8Sequence(text.substr(at));
    if (sequence.valid) {
      out.append(text.data() + at, sequence.length);
    } else {
      out.append("\xEF\xBF\xBD");
    }
    at += sequence.length;
  }
  return out;
}

std::string PeerText(std::string_view text, std::size_t limit) {
  std::string out;
  out.reserve((text.size() < limit ? text.size() : limit) + 16);
  std::size_t at = 0;
  while (at < text.size()) {
    const Utf8Sequence sequence = ReadUtf8Sequence(text.substr(at));
    if (at + sequence.length > limit) break;  // cut before a character that would pass it
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (!sequence.valid) {
      for (std::size_t i = 0; i < sequence.length; ++i) {
        const unsigned char bad = static_cast<unsigned char>(text[at + i]);
        out.append("\\x").push_back(kHex[bad >> 4]);
        out.push_back(kHex[bad & 15]);
      }
    } else if (sequence.length > 1) {
      if (IsHiddenControl(sequence.codePoint)) {
        out.append("\\u");
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(sequence.codePoint >> shift) & 15]);
      } else {
        out.append(text.data() + at, sequence.length);
      }
    } else {
      switch (c) {
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        case '\\': out.append("\\\\"); break;
        default:
          if (c < 0x20 || c == 0x7f) {
            out.append("\\x").push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
          } else {
            out.push_back(static_cast<char>(c));
          }
      }
    }
    at += sequence.length;
  }
  if (at < text.size()) {
    out.append("... (").append(std::to_string(text.size())).append(" bytes)");
  }
  return out;
}

}  // namespace IPC
