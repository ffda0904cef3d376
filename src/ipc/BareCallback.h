// A callback without arguments, as hosts write it, read straight from its text. Parsing
// the message into a document was the largest part of taking such a callback that was ours
// to cut: about 4 µs of the 20 between the plug-in's wake-up and its function, on a CPU
// that has just woken (the receive and the decompression are the wire's, the callback scope
// and the call into JavaScript Node's).
#pragma once

#include <string>
#include <string_view>

namespace IPC {

// The callback's name when text is exactly {"response":{"status":true,"result":"NAME"}}
// and NAME is printable ASCII without a quote or a backslash. False for anything else,
// with name as it was: the parsed road then reads it, with its checks and its lines.
bool ReadBareCallbackName(std::string_view text, std::string& name);

}  // namespace IPC
