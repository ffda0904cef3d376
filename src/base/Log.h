// The diagnostic log: one line on standard error per failure, in fixed forms.
// A leaf header with no includes, so that every layer may use it.
#pragma once

namespace IPC {

// Each call formats one whole line and writes it to stderr in a single write,
// so lines from different threads never interleave. Texts are printed as
// arguments, never used as formats.
void LogInfo(const char* message);
void LogWarning(const char* message);
void LogError(const char* message);
void LogError(const char* message, const char* pluginId, int mode);
// errorCode is an OS error number or a negative compression status; it is
// printed as its unsigned 32-bit value, so -4 prints as 4294967292.
void LogError(const char* message, const char* pluginId, int mode, unsigned int errorCode);
void LogFatal(const char* message);

}  // namespace IPC
