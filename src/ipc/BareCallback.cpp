// The straight read of a callback without arguments.
#include "ipc/BareCallback.h"

namespace IPC {

namespace {

constexpr std::string_view kHead = R"({"response":{"status":true,"result":")";
constexpr std::string_view kTail = R"("}})";

}  // namespace

bool ReadBareCallbackName(std::string_view text, std::string& name) {
  if (text.size() <= kHead.size() + kTail.size() || text.substr(0, kHead.size()) != kHead ||
      text.substr(text.size() - kTail.size()) != kTail) {
    return false;
  }
  const std::string_view candidate =
      text.substr(kHead.size(), text.size() - kHead.size() - kTail.size());
  for (const char c : candidate) {
    // What JSON would escape or refuse, and every byte of a longer UTF-8 sequence, are the
    // parsed road's to judge.
    if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') {
      return false;
    }
  }
  name.assign(candidate);
  return true;
}

}  // namespace IPC
