// The six log line forms.
#include "ipc/Log.h"

#include <cstdio>

namespace IPC {

// stderr is unbuffered: glibc formats the whole line into a temporary buffer
// and hands it to the kernel in one write.
void LogInfo(const char* message) { std::fprintf(stderr, "IPC | Info | %s\n", message); }

void LogWarning(const char* message) { std::fprintf(stderr, "IPC | Warning | %s\n", message); }

void LogError(const char* message) { std::fprintf(stderr, "IPC | Error | %s\n", message); }

void LogError(const char* message, const char* pluginId, int mode) {
  std::fprintf(stderr, "IPC | Error | %s (PluginId:%s) (Mode:%d)\n", message, pluginId, mode);
}

void LogError(const char* message, const char* pluginId, int mode, unsigned int errorCode) {
  std::fprintf(stderr, "IPC | Error | %s (PluginId:%s) (Mode:%d) (Error:%u)\n", message, pluginId,
               mode, errorCode);
}

void LogFatal(const char* message) { std::fprintf(stderr, "IPC | Fatal | %s\n", message); }

}  // namespace IPC
