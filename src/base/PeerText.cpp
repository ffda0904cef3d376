// Escaping and bounding of peer-controlled text for the log.
#include "base/PeerText.h"

namespace IPC {

std::string PeerText(std::string_view text, std::size_t limit) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  const std::size_t shown = text.size() < limit ? text.size() : limit;
  out.reserve(shown + 16);
  for (std::size_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
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
  if (shown < text.size()) {
    out.append("... (").append(std::to_string(text.size())).append(" bytes)");
  }
  return out;
}

}  // namespace IPC
