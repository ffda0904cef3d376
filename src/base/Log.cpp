// The six log line forms.
#include "base/Log.h"

#include <cstdio>
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

}  // namespace

void LogInfo(std::string_view message) { WriteLine(Line("Info", message).append("\n")); }

void LogWarning(std::string_view message) { WriteLine(Line("Warning", message).append("\n")); }

void LogError(std::string_view message) { WriteLine(Line("Error", message).append("\n")); }

void LogError(std::string_view message, std::string_view pluginId, int mode) {
  std::string line = Line("Error", message);
  line.append(" (PluginId:").append(pluginId).append(") (Mode:");
  line.append(std::to_string(mode)).append(")\n");
  WriteLine(line);
}

void LogError(std::string_view message, std::string_view pluginId, int mode,
              unsigned int errorCode) {
  std::string line = Line("Error", message);
  line.append(" (PluginId:").append(pluginId).append(") (Mode:");
  line.append(std::to_string(mode)).append(") (Error:");
  line.append(std::to_string(errorCode)).append(")\n");
  WriteLine(line);
}

void LogFatal(std::string_view message) { WriteLine(Line("Fatal", message).append("\n")); }

}  // namespace IPC
