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

// An error line a peer causes (an unknown callback name, content that cannot be read,
// arguments that are refused): a peer can repeat it at any rate, so it must not be able to
// fill a disk. The first line of a kind is written whole; later ones of that kind are
// counted, and at most once a second one summary says how many there were, as
// "IPC | Error | <kind> (N more like it)". A kind is a fixed text of ours, never peer text.
void LogPeerError(std::string_view kind, std::string_view message);
// While one lives, the error lines its thread writes (of any layer: a variant map that
// cannot read a peer's text, say) are the peer's doing, throttled as above, each message
// its own kind. For the handling of one peer message; the lines must then be fixed texts.
class PeerCausedLines {
 public:
  PeerCausedLines();
  ~PeerCausedLines();
  PeerCausedLines(const PeerCausedLines&) = delete;
  PeerCausedLines& operator=(const PeerCausedLines&) = delete;
};
// Writes the summary of every kind whose counted lines have none yet: at CleanUp and
// at exit, so that the end of a run is never lost.
void FlushPeerLog();

}  // namespace IPC
