// Callback messages: parsed and checked on the callback worker, handed to the registry.
#include "bridge/CallbackMessageProcessor.h"

#include <string>
#include <utility>
#include <vector>

#include "base/Log.h"
#include "base/PeerText.h"
#include "bridge/CallbackRegistry.h"
#include "ipc/BareCallback.h"
#include "ipc/ResponseMessage.h"

namespace Hostlink {
namespace {

// The host causes these lines, as often as it likes: each kind is written once, then
// summarised.
constexpr const char* kParseFailed =
    "CallbackMessageProcessor : ProcessCallbackMessage - Failed to parse callback message from "
    "host";
constexpr const char* kNameEmpty =
    "CallbackMessageProcessor : ProcessCallbackMessage - callbackName is empty";
constexpr const char* kNotRegistered =
    "CallbackMessageProcessor : ProcessCallbackMessage - No JS callback function found for "
    "callback";

// The arguments in position order: members keyed "0", "1", ... in that order, as a
// request's are. False for anything else.
bool TakeArguments(IPC::WireMembers& members, std::vector<IPC::WireValue>& args) {
  if (members.size() > CallbackMessageProcessor::kMaxArguments) {
    return false;
  }
  args.reserve(members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].first != std::to_string(i)) {
      return false;
    }
    args.push_back(std::move(members[i].second));
  }
  return true;
}

}  // namespace

void CallbackMessageProcessor::ProcessCallbackMessage(const std::string& message) {
  // Whatever a layer below logs while it reads the host's message is the host's doing.
  IPC::PeerCausedLines peerCaused;
  try {
    std::string callbackName;
    std::vector<IPC::WireValue> args;
    if (!IPC::ReadBareCallbackName(message, callbackName)) {
      IPC::ResponseMessage callback;
      if (!callback.FromJSONString(message) || !callback.result.IsString("result") ||
          !TakeArguments(callback.args, args)) {
        IPC::LogPeerError(kParseFailed, kParseFailed);
        return;
      }
      callbackName = callback.result.GetString("result");
    }
    if (callbackName.empty()) {
      IPC::LogPeerError(kNameEmpty, kNameEmpty);
      return;
    }
    switch (CallbackRegistry::Instance().Queue(callbackName, std::move(args), message.size())) {
      case CallbackRegistry::Queued::Yes:
      case CallbackRegistry::Queued::Dropped:
        return;
      case CallbackRegistry::Queued::NotRegistered:
        // The name is the host's: escaped and bounded, it can neither forge nor flood lines.
        IPC::LogPeerError(kNotRegistered,
                          std::string(kNotRegistered) + ":" + IPC::PeerText(callbackName));
        return;
      case CallbackRegistry::Queued::Closing:
        // Only an environment being torn down closes its road (the registry lets a road go
        // only once no name leads to it): its callbacks are dropped without a line, as
        // those already queued for it are, and its names are deregistered as it ends.
        return;
    }
  } catch (...) {
    IPC::LogError(
        "CallbackMessageProcessor : ProcessCallbackMessage - Exception occured while invoking JS "
        "callback function");
  }
}

}  // namespace Hostlink
