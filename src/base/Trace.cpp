// The trace's line format and its sink, standard error.
#include "base/Trace.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "base/PeerText.h"

#ifdef _WIN32
#include <process.h>
#define HOSTLINK_PID _getpid()
#else
#include <unistd.h>
#define HOSTLINK_PID getpid()
#endif

namespace IPC {

namespace TraceDetail {
bool enabled = false;
}

namespace {

constexpr std::size_t kShownChars = 500;
constexpr std::string_view kCallbackSuffix = "_callback";

std::string_view PluginIdOf(std::string_view pipe) {
  if (pipe.size() > kCallbackSuffix.size() &&
      pipe.substr(pipe.size() - kCallbackSuffix.size()) == kCallbackSuffix) {
    return pipe.substr(0, pipe.size() - kCallbackSuffix.size());
  }
  return pipe;
}

std::string Head(std::string_view what, std::string_view pipe) {
  std::string line = "HOSTLINK ";
  line.append(std::to_string(HOSTLINK_PID)).append(": ").append(what);
  line.append(" pipe=").append(PeerText(pipe, 100));
  line.append(" plugin=").append(PeerText(PluginIdOf(pipe), 100));
  return line;
}

// One write per line, so that lines of different threads never interleave.
void Emit(std::string line) {
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);  // msvcrt buffers stderr once it is redirected to a file
}

bool NamesHostlink(std::string_view item) {
  while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) item.remove_prefix(1);
  while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.remove_suffix(1);
  static constexpr std::string_view kName = "hostlink";
  if (item.size() != kName.size()) return false;
  for (std::size_t i = 0; i < item.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(item[i])) != kName[i]) return false;
  }
  return true;
}

}  // namespace

void EnableTrace(bool on) { TraceDetail::enabled = on; }

void EnableTraceFromNodeDebug(const char* nodeDebug) {
  if (nodeDebug == nullptr) return;
  std::string_view list(nodeDebug);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (NamesHostlink(list.substr(0, comma))) {
      EnableTrace(true);
      return;
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
}

std::string TraceMessageLine(TraceDirection direction, std::string_view pipe,
                             std::size_t compressedBytes, std::string_view text,
                             std::chrono::steady_clock::duration took) {
  const char* what = direction == TraceDirection::Request    ? "\xE2\x86\x92 request"
                     : direction == TraceDirection::Response ? "\xE2\x86\x90 response"
                                                             : "\xE2\x87\xA0 callback";
  std::string line = Head(what, pipe);
  line.append(" bytes=").append(std::to_string(compressedBytes)).push_back('/');
  line.append(std::to_string(text.size()));
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
  char time[32];
  std::snprintf(time, sizeof time, " time=%lld.%03lldms ", static_cast<long long>(micros / 1000),
                static_cast<long long>(micros % 1000));
  line.append(time);
  // PeerText notes the full length of a text it cuts, in bytes.
  line.append(PeerText(text, kShownChars));
  return line;
}

void TraceMessage(TraceDirection direction, std::string_view pipe, std::size_t compressedBytes,
                  std::string_view text, std::chrono::steady_clock::duration took) {
  Emit(TraceMessageLine(direction, pipe, compressedBytes, text, took));
}

void TraceEvent(std::string_view event, std::string_view pipe, std::string_view detail) {
  std::string line = Head(std::string("! ").append(event), pipe);
  line.push_back(' ');
  line.append(PeerText(detail, kShownChars));
  Emit(std::move(line));
}

}  // namespace IPC
