// Text a peer controls (a callback name, a host's error text), made safe to put in a log
// line or to hand to JavaScript.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace IPC {

// Control characters (C0, DEL and the C1 range U+0080 to U+009F), the bidirectional
// overrides and isolates (U+202A to U+202E, U+2066 to U+2069) and backslashes are escaped
// (\n, \x1b, \u202e, ...), each byte that is not part of valid UTF-8 is written \xNN, and
// anything past `limit` bytes is cut on a character boundary and marked with the full
// length, so a peer can neither forge lines, reorder what a terminal shows, nor flood the
// log.
std::string PeerText(std::string_view text, std::size_t limit = 200);

// The text with each ill-formed UTF-8 sequence (each maximal subpart, as the Unicode
// standard recommends) replaced by U+FFFD; valid text comes back unchanged.
std::string ValidUtf8(std::string_view text);

// One UTF-8 sequence at the start of text: its byte count and, when valid, its code point.
// An ill-formed sequence is its maximal subpart (at least one byte) with valid false.
struct Utf8Sequence {
  std::size_t length = 0;
  bool valid = false;
  uint32_t codePoint = 0;
};
Utf8Sequence ReadUtf8Sequence(std::string_view text);

}  // namespace IPC
