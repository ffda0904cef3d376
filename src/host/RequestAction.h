// What the request thread does with one incoming request; a request filter chooses it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Host {

struct RequestAction {
  enum class Kind {
    // Dispatch the request and send its answer (the normal course).
    Answer,
    // Send `text` as the answer instead, whatever it holds.
    Reply,
    // Send nothing: the plug-in waits until its time-out.
    NoReply,
    // Close the plug-in's connection instead of answering, and listen again.
    Drop,
  };

  Kind kind = Kind::Answer;
  std::string text;
  // Waited before the action; a stopping service cuts the wait short and sends nothing.
  uint32_t delayMs = 0;
};

// Sees every request text exactly as received, before anything else happens to it; runs
// on the request thread.
using RequestFilter = std::function<RequestAction(const std::string& requestText)>;

}  // namespace Host
