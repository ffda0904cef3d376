// The wire trace: with tracing on, one line per message on standard error, in the same form
// on the plug-in's side and the host's, so the two traces of one exchange read side by side:
//
//   HOSTLINK 4242: → request pipe=my-plugin plugin=my-plugin bytes=81/112 time=0.000ms {"request":…}
//   HOSTLINK 4242: ← response pipe=my-plugin plugin=my-plugin bytes=66/60 time=0.031ms {"response":…}
//   HOSTLINK 4242: ⇠ callback pipe=my-plugin_callback plugin=my-plugin bytes=71/54 time=0.000ms {…}
//   HOSTLINK 4242: ! timeout pipe=my-plugin plugin=my-plugin no answer within 1000 ms
//
// bytes= is compressed/text size; time= is how long the exchange had taken when the line
// was written. The text is cut on a character boundary within 500 bytes (its full length
// noted), with control characters, bidi overrides and bytes that are not UTF-8 escaped
// (PeerText). An answer that cannot be decoded gets a "! bad-answer" line. The log's own
// lines ("IPC | ...") are unaffected.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace IPC {

namespace TraceDetail {
extern bool enabled;
}

// Read on the hot path: when tracing is off, this one predictable branch is all it costs.
inline bool TraceOn() { return TraceDetail::enabled; }

// Switches the trace on or off; meant to be called once, before any message moves.
void EnableTrace(bool on);
// Node's convention: on when the NODE_DEBUG value (a comma-separated list of module
// names, case-insensitive) names "hostlink". A null value leaves the trace off.
void EnableTraceFromNodeDebug(const char* nodeDebug);

enum class TraceDirection {
  Request,   // → the plug-in's request to the host
  Response,  // ← the host's answer
  Callback,  // ⇠ a callback message from the host
};

// One message. `took` is the time since the exchange began (zero for a request or a
// callback, which begin it). The pipe is the channel's name; the plug-in id is derived
// from it.
void TraceMessage(TraceDirection direction, std::string_view pipe, std::size_t compressedBytes,
                  std::string_view text, std::chrono::steady_clock::duration took);
// A line for an event that is not a message: "timeout", "late-answer", "reconnect", ...
void TraceEvent(std::string_view event, std::string_view pipe, std::string_view detail);

// The text of a message line, without the line feed (for tests of the format).
std::string TraceMessageLine(TraceDirection direction, std::string_view pipe,
                             std::size_t compressedBytes, std::string_view text,
                             std::chrono::steady_clock::duration took);

}  // namespace IPC
