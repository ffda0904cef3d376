// The log for the fuzz build: each line is formatted as the real log formats it (so a bad
// argument still shows), then dropped instead of written to stderr.
#include <string>

#include "base/Log.h"

namespace IPC {

namespace {

void Format(std::string_view severity, std::string_view message, std::string_view rest = {}) {
  std::string line("IPC | ");
  line.append(severity).append(" | ").append(message).append(rest).append("\n");
}

std::string Channel(std::string_view pluginId, int mode) {
  return std::string(" (PluginId:").append(pluginId).append(") (Mode:") +
         std::to_string(mode) + ")";
}

}  // namespace

void LogInfo(std::string_view message) { Format("Info", message); }

void LogWarning(std::string_view message) { Format("Warning", message); }

void LogError(std::string_view message) { Format("Error", message); }

void LogError(std::string_view message, std::string_view pluginId, int mode) {
  Format("Error", message, Channel(pluginId, mode));
}

void LogError(std::string_view message, std::string_view pluginId, int mode,
              unsigned int errorCode) {
  Format("Error", message, Channel(pluginId, mode) + " (Error:" + std::to_string(errorCode) + ")");
}

void LogFatal(std::string_view message) { Format("Fatal", message); }

}  // namespace IPC
