// The six log line forms, and the throttle of the lines a peer causes.
#include "base/Log.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace IPC {

namespace {

// The line is formatted into one buffer and handed over in one write, whatever its length.
// The flush matters where a C run-time buffers stderr once it is redirected to a file
// (msvcrt does): a process ended from outside would otherwise lose its last lines.
void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string Line(std::string_view severity, std::string_view message) {
  std::string line;
  line.reserve(16 + message.size());
  line.append("IPC | ").append(severity).append(" | ").append(message);
  return line;
}

using Clock = std::chrono::steady_clock;
constexpr Clock::duration kSummaryInterval = std::chrono::seconds(1);
// Kinds are fixed texts of ours, a few dozen at most; past this many, a line of a new kind
// is written as it is rather than remembered.
constexpr size_t kMaxKinds = 256;

// Lines written on this thread while a PeerCausedLines lives are the peer's doing.
thread_local int peerCausedDepth = 0;

// A kind's run: open from its first written line until a summary interval passes with
// nothing counted, or the log is flushed.
struct PeerRun {
  Clock::time_point since;
  uint64_t more = 0;
};

struct PeerRuns {
  std::mutex lock;
  std::map<std::string, PeerRun, std::less<>> runs;
};

PeerRuns& Runs() {
  static PeerRuns* runs = new PeerRuns();  // never destroyed: lines are written during exit
  return *runs;
}

void WriteSummary(std::string_view kind, uint64_t more) {
  std::string line = Line("Error", kind);
  line.append(" (").append(std::to_string(more)).append(" more like it)\n");
  WriteLine(line);
}

// Writes line, the first of its kind in a run; counts it otherwise, with a summary of the
// count at most once a summary interval.
void WriteThrottled(std::string_view kind, const std::string& line) {
  PeerRuns& state = Runs();
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> guard(state.lock);
  auto found = state.runs.find(kind);
  if (found == state.runs.end()) {
    if (state.runs.size() < kMaxKinds) {
      static const bool flushAtExit = (std::atexit(FlushPeerLog), true);
      (void)flushAtExit;
      state.runs.emplace(std::string(kind), PeerRun{now, 0});
    }
    WriteLine(line);
    return;
  }
  PeerRun& run = found->second;
  if (now - run.since >= kSummaryInterval && run.more == 0) {
    run.since = now;  // the last run ended quietly: this line starts a new one
    WriteLine(line);
    return;
  }
  ++run.more;
  if (now - run.since >= kSummaryInterval) {
    WriteSummary(kind, run.more);
    run.since = now;
    run.more = 0;
  }
}

// An error line: throttled, keyed by its message, while the peer causes this thread's lines.
void WriteError(std::string_view message, const std::string& line) {
  if (peerCausedDepth > 0) {
    WriteThrottled(message, line);
  } else {
    WriteLine(line);
  }
}

}  // namespace

void LogInfo(std::string_view message) { WriteLine(Line("Info", message).append("\n")); }

void LogWarning(std::string_view message) { WriteLine(Line("Warning", message).append("\n")); }

void LogError(std::string_view message) {
  WriteError(message, Line("Error", message).append("\n"));
}

void LogError(std::string_view message, std::string_view pluginId, int mode) {
  std::string line = Line("Error", message);
  line.append(" (PluginId:").append(pluginId).append(") (Mode:");
  line.append(std::to_string(mode)).append(")\n");
  WriteError(message, line);
}

void LogError(std::string_view message, std::string_view pluginId, int mode,
              unsigned int errorCode) {
  std::string line = Line("Error", message);
  line.append(" (PluginId:").append(pluginId).append(") (Mode:");
  line.append(std::to_string(mode)).append(") (Error:");
  line.append(std::to_string(errorCode)).append(")\n");
  WriteError(message, line);
}

void LogFatal(std::string_view message) { WriteLine(Line("Fatal", message).append("\n")); }

void LogPeerError(std::string_view kind, std::string_view message) {
  WriteThrottled(kind, Line("Error", message).append("\n"));
}

PeerCausedLines::PeerCausedLines() { ++peerCausedDepth; }

PeerCausedLines::~PeerCausedLines() { --peerCausedDepth; }

void FlushPeerLog() {
  PeerRuns& state = Runs();
  std::lock_guard<std::mutex> guard(state.lock);
  for (const auto& [kind, run] : state.runs) {
    if (run.more != 0) {
      WriteSummary(kind, run.more);
    }
  }
  state.runs.clear();  // every run has ended: the next line of any kind is written whole
}

}  // namespace IPC
