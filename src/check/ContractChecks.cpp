// The checks of the pipes, the module's own requests, failure answers, the answers as a
// whole and unloading.
#include <chrono>
#include <memory>
#include <thread>

#ifdef __linux__
#include <unistd.h>
#endif

#include "check/HostChecker.h"
#include "check/RawPeer.h"
#include "ipc/ObjectType.h"
#include "transport/Bzip2Codec.h"
#include "transport/NamedPipe.h"
#include "variant/KvVariantMap.h"

namespace Check {

namespace {

// Identifiers no host hands out this early: they stand for objects it does not know.
constexpr int64_t kUnknownProxyId = 2147483000;
constexpr int64_t kStaleProxyId = 2147483001;
constexpr int64_t kLargestProxyId = 2147483647;

std::string JoinNames(const std::vector<std::string>& names, size_t limit = 6) {
  std::string text;
  for (size_t i = 0; i < names.size() && i < limit; ++i) {
    if (i > 0) text += ", ";
    text += names[i];
  }
  if (names.size() > limit) text += ", ...";
  return text;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}

}  // namespace

HostChecker::HostChecker(std::string pluginId, CheckReport& report)
    : pluginId_(pluginId), report_(report), session_(std::move(pluginId)) {}

void HostChecker::Run(bool unload) {
  CheckPipes();
  CheckForeignPeer();
  requestPipe_ = requestPipe_ && session_.Connect(kOpenLimitMs);
  CheckGetKestrel();
  CheckSetApiTimeout();
  CheckAccepted("RegisterCallback", "0", "HostlinkCheck");
  CheckAccepted("DeregisterCallback", "0", "HostlinkCheck");
  CheckUnknownFunction();
  CheckUnknownProxy();
  CheckStaleReference();
  CheckHostileInput();
  CheckAnswers();
  if (unload) CheckUnload();
}

std::string HostChecker::SomeFunction() const {
  return haveRoot_ && !root_.functions.empty() ? root_.functions.front() : "GetName";
}

std::string HostChecker::CompressedRequest(const std::string& name, uint64_t& requestId) {
  const IPC::RequestMessage request = session_.NewRequest(name);
  requestId = request.requestId;
  std::string stream;
  IPC::Bzip2Codec codec;
  codec.Compress(request.ToJSONString(), stream);
  return stream;
}

bool HostChecker::AnswersValidRequest(std::string& evidence) {
  const Answer answer = session_.Exchange(session_.NewRequest("GetKestrel"), kAnswerLimitMs);
  evidence =
      "then \"GetKestrel\" got " + (answer.Succeeded() ? answer.Summary() : answer.Describe());
  return answer.Succeeded();
}

void HostChecker::CheckPipes() {
  const std::string path = std::string(IPC::NamedPipe::kPipePrefix) + pluginId_;
  // Opened and closed again at once: the foreign-peer check needs the host free to accept.
  IPC::NamedPipe requests(pluginId_, IPC::ClientRequest);
  requestPipe_ = requests.Open(kOpenLimitMs);
  report_.Record("pipes.request", requestPipe_,
                 (requestPipe_ ? "connected to " : "cannot connect to ") + path);
  requests.Close();
  IPC::NamedPipe callbacks(pluginId_ + "_callback", IPC::ClientCallback);
  const bool callbackPipe = callbacks.Open(kOpenLimitMs);
  report_.Record("pipes.callback", callbackPipe,
                 (callbackPipe ? "connected to " : "cannot connect to ") + path + "_callback");
}

void HostChecker::CheckForeignPeer() {
  const char* name = "pipes.refuses-other-user";
#ifdef HOSTLINK_CHECK_HAS_RAW_PEER
  if (geteuid() != 0) {
    report_.Skip(name, "connecting as another user needs root");
    return;
  }
  if (!requestPipe_) {
    report_.Fail(name, "no request pipe");
    return;
  }
  uint64_t requestId = 0;
  switch (ConnectAsAnotherUser(pluginId_, CompressedRequest("GetKestrel", requestId), 2000)) {
    case ForeignPeerResult::Refused:
      report_.Pass(name, "a peer of user nobody was disconnected without an answer");
      return;
    case ForeignPeerResult::Answered:
      report_.Fail(name, "a peer of user nobody got an answer to \"GetKestrel\"");
      return;
    case ForeignPeerResult::NoVerdict:
      report_.Fail(name, "a peer of user nobody was neither answered nor disconnected in 2 s");
      return;
    case ForeignPeerResult::CannotConnect:
      report_.Fail(name, "a peer of user nobody could not connect at all");
      return;
    case ForeignPeerResult::CannotSwitchUser:
      report_.Skip(name, "could not become user nobody");
      return;
  }
#else
  report_.Skip(name, "not tested on this platform");
#endif
}

void HostChecker::CheckGetKestrel() {
  const char* name = "GetKestrel";
  const Answer answer = session_.Exchange(session_.NewRequest("GetKestrel"), kAnswerLimitMs);
  if (!answer.Succeeded() || !answer.response.result.Has("result") ||
      !answer.response.result.IsMap("result")) {
    report_.Fail(name, "expected a proxy, got " + answer.Describe());
    return;
  }
  const auto value =
      std::dynamic_pointer_cast<IPC::KvVariantMap>(answer.response.result.GetVariantMap("result"));
  if (!value || IPC::GetObjectType(*value) != IPC::ObjectType::Proxy ||
      !root_.FromVariantMap(*value)) {
    report_.Fail(name, "the result is not a proxy value: " + Excerpt(answer.text));
    return;
  }
  const std::string description = "proxy " + std::to_string(root_.proxyId) + " \"" + root_.name +
                                  "\" with " + std::to_string(root_.functions.size()) +
                                  " functions (" + JoinNames(root_.functions) + ")";
  if (root_.proxyId < 1 || root_.proxyId > kLargestProxyId) {
    report_.Fail(name, "proxyId out of 1..2147483647: " + description);
  } else if (root_.name.empty()) {
    report_.Fail(name, "empty name: " + description);
  } else if (root_.functions.empty()) {
    report_.Fail(name, "empty function list: " + description);
  } else {
    haveRoot_ = true;
    report_.Pass(name, description);
  }
}

void HostChecker::CheckAccepted(const std::string& name, const std::string& argumentKey,
                                const std::string& argument) {
  IPC::RequestMessage request = session_.NewRequest(name);
  request.args.Set(argumentKey, argument);
  const Answer answer = session_.Exchange(request, kAnswerLimitMs);
  const bool accepted = answer.Succeeded() && answer.response.result.Has("result") &&
                        answer.response.result.IsTrue("result");
  report_.Record(name, accepted,
                 (accepted ? "" : "expected result true, got ") + answer.Describe());
}

void HostChecker::CheckSetApiTimeout() {
  IPC::RequestMessage request = session_.NewRequest("SetAPITimeout");
  request.args.Set("timeout", static_cast<uint64_t>(10000));
  const Answer answer = session_.Exchange(request, kAnswerLimitMs);
  const bool accepted = answer.Succeeded() && answer.response.result.Has("result") &&
                        answer.response.result.IsTrue("result");
  report_.Record("SetAPITimeout", accepted,
                 (accepted ? "" : "expected result true, got ") + answer.Describe());
}

void HostChecker::CheckUnknownFunction() {
  const char* name = "failure.unknown-function";
  if (!haveRoot_) {
    report_.Fail(name, "no root object to call");
    return;
  }
  const Answer answer = session_.Exchange(
      session_.NewRequest("HostlinkCheckNoSuchFunction", root_.proxyId), kAnswerLimitMs);
  report_.Record(name, answer.FailedWithText(),
                 "\"HostlinkCheckNoSuchFunction\" on the root got " + answer.Describe());
}

void HostChecker::CheckUnknownProxy() {
  const Answer answer =
      session_.Exchange(session_.NewRequest(SomeFunction(), kUnknownProxyId), kAnswerLimitMs);
  report_.Record("failure.unknown-proxy", answer.FailedWithText(),
                 "\"" + SomeFunction() + "\" on proxy " + std::to_string(kUnknownProxyId) +
                     " got " + answer.Describe());
}

void HostChecker::CheckStaleReference() {
  const char* name = "failure.stale-reference";
  if (!haveRoot_) {
    report_.Fail(name, "no root object to call");
    return;
  }
  IPC::RequestMessage request = session_.NewRequest(SomeFunction(), root_.proxyId);
  IPC::KvVariantMap reference;
  reference.Set("type", "proxyref");
  reference.Set("value", kStaleProxyId);
  request.args.Set("0", reference);
  const Answer answer = session_.Exchange(request, kAnswerLimitMs);
  report_.Record(name, answer.FailedWithText(),
                 "\"" + SomeFunction() + "\" with a reference to proxy " +
                     std::to_string(kStaleProxyId) + " got " + answer.Describe());
}

void HostChecker::CheckAnswers() {
  const std::string count = std::to_string(session_.AnswerCount()) + " answers";
  const auto& second = session_.SecondAnswers();
  const auto& unreadable = session_.UnreadableAnswers();
  if (second.empty() && unreadable.empty()) {
    report_.Pass("answers.one-message-each",
                 count + ", each one valid bzip2 stream, none followed by another within " +
                     std::to_string(PluginSession::kSecondAnswerWindowMs) + " ms");
  } else {
    std::vector<std::string> problems = second;
    problems.insert(problems.end(), unreadable.begin(), unreadable.end());
    report_.Fail("answers.one-message-each", JoinLines(problems));
  }
  const auto& form = session_.FormProblems();
  report_.Record("answers.response-form", form.empty(),
                 form.empty() ? count +
                                    ", each a JSON object {\"response\":{...}} with a boolean "
                                    "\"status\" and the request's \"requestId\" when present"
                              : JoinLines(form));
}

void HostChecker::CheckUnload() {
  const char* name = "UnloadPlugin";
  IPC::RequestMessage request = session_.NewRequest("UnloadPlugin");
  request.args.Set("id", pluginId_);
  const Answer answer = session_.Exchange(request, kAnswerLimitMs);
  session_.Disconnect();
  if (!answer.received) {
    report_.Fail(name, "no answer to \"UnloadPlugin\"");
    return;
  }
  // The host ends (its pipe refuses connections) or at least stops answering.
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(3);
  while (Clock::now() < deadline) {
    PluginSession probe(pluginId_);
    if (!probe.Connect(0)) {
      // Busy: the host still serves the checker's own connection, not yet noticed closed.
      if (probe.ConnectError() != IPC::ChannelError::Busy) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        report_.Pass(name, "answered, then the request pipe refused connections after " +
                               std::to_string(ms) + " ms");
        return;
      }
    } else if (!probe.Exchange(probe.NewRequest("GetKestrel"), 200).received) {
      report_.Pass(name, "answered, then \"GetKestrel\" went unanswered");
      return;
    }
    probe.Disconnect();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  report_.Fail(name, "the host still answers 3 s after \"UnloadPlugin\"");
}

}  // namespace Check
