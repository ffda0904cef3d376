// Callbacks: a registration leaves the request pipe quiet, and the host's own callbacks
// arrive on the callback pipe in the form a plug-in reads.
#include <chrono>
#include <set>

#include "check/HostChecker.h"
#include "transport/NamedPipe.h"

namespace Check {

namespace {

using Clock = std::chrono::steady_clock;

// How long each turn of the callback wait reads the callback pipe before it looks at the
// request pipe again.
constexpr uint32_t kCallbackSliceMs = 20;
// The plug-in takes at most this many callback arguments.
constexpr size_t kMaxCallbackArguments = 256;

// Why a plug-in would not call a registered function for the message, or empty when it
// would; `name` is the callback's name when it has one.
std::string CallbackProblem(const std::string& text, const std::set<std::string>& registered,
                            IPC::ResponseMessage& callback, std::string& name) {
  const std::string form = FormProblem(text, 0);
  if (!form.empty()) return form + ": " + Excerpt(text, 60);
  if (!callback.FromJSONString(text)) return "unreadable: " + Excerpt(text, 60);
  if (!callback.status) return "status false: " + Excerpt(text, 60);
  if (!callback.result.IsString("result")) return "no string result: " + Excerpt(text, 60);
  name = callback.result.GetString("result");
  if (registered.count(name) == 0) {
    return "\"" + Excerpt(name, 60) + "\", which is not registered";
  }
  if (callback.args.size() > kMaxCallbackArguments) {
    return "\"" + Excerpt(name, 60) + "\" with more than 256 arguments";
  }
  for (size_t i = 0; i < callback.args.size(); ++i) {
    if (callback.args[i].first != std::to_string(i)) {
      return "\"" + Excerpt(name, 60) + "\" with arguments not keyed \"0\", \"1\", ... in order";
    }
  }
  return "";
}

}  // namespace

void HostChecker::CheckRegistration() {
  std::string evidence;
  const bool accepted = Accepted("RegisterCallback", "0", "HostlinkCheck", evidence);
  report_.Record("RegisterCallback", accepted, evidence);
  // A host that writes callbacks on the request pipe does it now, if ever.
  session_.WatchIdle(kIdleWatchMs, "\"RegisterCallback\"");
  CheckAccepted("DeregisterCallback", "0", "HostlinkCheck");
}

void HostChecker::CheckHostCallbacks(const std::vector<std::string>& names, uint32_t waitMs) {
  const char* check = "callbacks";
  std::vector<std::string> problems;
  std::set<std::string> registered;
  for (const std::string& name : names) {
    std::string evidence;
    if (Accepted("RegisterCallback", "0", name, evidence)) {
      registered.insert(name);
    } else {
      problems.push_back("\"RegisterCallback\" of \"" + name + "\": " + evidence);
    }
  }
  std::string arrived;
  if (!registered.empty()) {
    // As a plug-in does: it connects once its first registration is answered.
    IPC::NamedPipe callbacks(pluginId_ + "_callback", IPC::ClientCallback);
    if (!callbacks.Open(kCallbackOpenLimitMs)) {
      problems.push_back("the callback pipe did not take the plug-in within " +
                         std::to_string(kCallbackOpenLimitMs) + " ms of the registration");
    } else {
      const size_t unaskedBefore = session_.UnaskedMessages().size();
      const auto start = Clock::now();
      const auto deadline = start + std::chrono::milliseconds(waitMs);
      while (arrived.empty() && Clock::now() < deadline) {
        std::string text;
        if (callbacks.Read(text, kCallbackSliceMs)) {
          IPC::ResponseMessage callback;
          std::string name;
          const std::string problem = CallbackProblem(text, registered, callback, name);
          if (!problem.empty()) {
            problems.push_back("a callback message a plug-in ignores: " + problem);
            continue;
          }
          session_.NoteProxies(callback.args, "the callback \"" + Excerpt(name, 60) + "\"");
          const auto ms =
              std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
          arrived = "\"" + Excerpt(name, 60) + "\" arrived on the callback pipe after " +
                    std::to_string(ms.count()) + " ms with " +
                    std::to_string(callback.args.size()) + " arguments";
        } else if (callbacks.LastError() != IPC::ChannelError::Timeout) {
          problems.push_back(std::string("a callback message a plug-in cannot read (") +
                             IPC::ChannelErrorName(callbacks.LastError()) + ")");
          if (callbacks.LastError() == IPC::ChannelError::Closed) break;
        }
        session_.WatchIdle(0, "registering the host's callbacks");
      }
      if (arrived.empty()) {
        std::string missing = "no callback within " + std::to_string(waitMs) + " ms";
        if (session_.UnaskedMessages().size() > unaskedBefore) {
          missing += "; messages came on the request pipe instead (answers.nothing-unasked)";
        }
        problems.push_back(missing);
      }
    }
  }
  for (const std::string& name : registered) {
    std::string evidence;
    if (!Accepted("DeregisterCallback", "0", name, evidence)) {
      problems.push_back("\"DeregisterCallback\" of \"" + name + "\": " + evidence);
    }
  }
  if (problems.empty()) {
    report_.Pass(check, arrived + ", in the form a plug-in reads");
  } else {
    report_.Fail(check, JoinLines(problems));
  }
}

}  // namespace Check
