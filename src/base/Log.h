// The diagnostic log: one line on standard error per failure, in fixed forms.
// The lowest layer: every other layer may use it, and it includes none of them.
#pragma once

#include <string_view>

namespace IPC {

// Each call formats one whole line and writes it to stderr in a single write,
// so lines from different threads never interleave. Texts are printed as
// arguments, never used as formats.
void LogInfo(std::string_view message);
void LogWarning(std::string_view message);
void LogError(std::string_view message);
void LogError(std::string_view message, std::string_view pluginId, int mode);
// errorCode is an OS error number or a negative compression status; it is
// printed as its unsigned 32-bit value, so -4 prints as 4294967292.
void LogError(std::string_view message, std::string_view pluginId, int mode,
              unsigned int errorCode);
void LogFatal(std::string_view message);

}  // namespace IPC
