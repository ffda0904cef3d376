// Text a peer controls (a callback name, a host's error text), made safe to put in a log line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace IPC {

// Control characters and backslashes are escaped (\n, \x1b, ...), and anything past `limit`
// bytes is cut and marked with its full length, so a peer can neither forge lines nor flood
// the log.
std::string PeerText(std::string_view text, std::size_t limit = 200);

}  // namespace IPC
