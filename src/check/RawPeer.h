// Probes that must do what the channel itself never does: connect as another user, and send
// a message longer than the channel allows. They speak to the host's socket directly, so
// they exist on Linux only; on Windows the checks that need them report themselves skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Check {

#ifdef __linux__
#define HOSTLINK_CHECK_HAS_RAW_PEER 1

enum class ForeignPeerResult {
  // The host closed the connection without answering.
  Refused,
  // The host answered a peer of another user.
  Answered,
  // Neither an answer nor a close within the limit.
  NoVerdict,
  CannotConnect,
  CannotSwitchUser,
};

// In a forked child that has become the user "nobody": connects to the request pipe, sends
// the compressed request and waits up to limitMs for the host to answer or hang up.
// Needs root.
ForeignPeerResult ConnectAsAnotherUser(const std::string& pluginId,
                                       const std::string& requestStream, uint32_t limitMs);

// On a connection of its own: sends `oversized` as one message, then the compressed request,
// and receives what comes within limitMs, at most two messages (an answer to each), into
// answerStreams. False with the reason in `failure` when nothing came.
bool SendOversizedThenRequest(const std::string& pluginId, const std::string& oversized,
                              const std::string& requestStream, uint32_t limitMs,
                              std::vector<std::string>& answerStreams, std::string& failure);
#endif

}  // namespace Check
