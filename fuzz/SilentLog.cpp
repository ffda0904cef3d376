// The log for the fuzz build: each line is formatted as the real log formats it (so a bad
// argument still shows), then dropped instead of written to stderr.
#include <cstdio>

#include "ipc/Log.h"

namespace IPC {

namespace {

template <typename... Args>
void Format(const char* format, Args... args) {
  char line[256];
  std::snprintf(line, sizeof line, format, args...);
}

}  // namespace

void LogInfo(const char* message) { Format("IPC | Info | %s\n", message); }

void LogWarning(const char* message) { Format("IPC | Warning | %s\n", message); }

void LogError(const char* message) { Format("IPC | Error | %s\n", message); }

void LogError(const char* message, const char* pluginId, int mode) {
  Format("IPC | Error | %s (PluginId:%s) (Mode:%d)\n", message, pluginId, mode);
}

void LogError(const char* message, const char* pluginId, int mode, unsigned int errorCode) {
  Format("IPC | Error | %s (PluginId:%s) (Mode:%d) (Error:%u)\n", message, pluginId, mode,
         errorCode);
}

void LogFatal(const char* message) { Format("IPC | Fatal | %s\n", message); }

}  // namespace IPC
