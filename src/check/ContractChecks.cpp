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

// An identifier no host hands out this early: it stands for an object gone.
constexpr int64_t kStaleProxyId = 2147483001;

}  // namespace

HostChecker::HostChecker(std::string pluginId, CheckReport& report)
    : pluginId_(pluginId), report_(report), session_(std::move(pluginId)) {}

void HostChecker::Run(const CheckOptions& options) {
  CheckPipes();
  CheckForeignPeer();
  requestPipe_ = requestPipe_ && session_.Connect(kOpenLimitMs);
  CheckGetKestrel();
  CheckSetApiTimeout();
  CheckRegistration();
  if (!options.callbacks.empty()) CheckHostCallbacks(options.callbacks, options.callbackWaitMs);
  CheckUnknownFunction();
  CheckUnknownProxy();
  CheckStaleReference();
  if (options.explore) CheckExplore();
  CheckRelease(options.explore);
  CheckHostileInput();
  // Last of all requests: a host may end once it has answered.
  if (options.unload) CheckUnload();
  CheckAnswers();
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
  std::string description = DescribeProxy(root_);
  const std::string fault = ProxyProblem(root_);
  if (!fault.empty()) {
    report_.Fail(name, fault + ": " + description);
    return;
  }
  // An extension a host announces; plug-ins that don't know a feature ignore it.
  const IPC::KvVariantMap described = value->GetMap("value");
  if (described.Has("features")) {
    const bool isList = described.IsList("features");
    const std::vector<std::string> features = described.GetStringList("features");
    if (!isList || features.size() != described.GetListSize("features")) {
      report_.Fail(name, "\"features\" is not a list of strings: " + Excerpt(answer.text));
      return;
    }
    std::string names;
    for (const std::string& feature : features) {
      names += names.empty() ? "" : ", ";
      names += "\"" + Excerpt(feature, 40) + "\"";
      if (feature == "release") release_ = true;
    }
    description += ", features " + names;
  }
  haveRoot_ = true;
  report_.Pass(name, description);
}

bool HostChecker::Accepted(const std::string& name, const std::string& argumentKey,
                           const std::string& argument, std::string& evidence) {
  IPC::RequestMessage request = session_.NewRequest(name);
  request.args.Set(argumentKey, argument);
  const Answer answer = session_.Exchange(request, kAnswerLimitMs);
  const bool accepted = answer.Succeeded() && answer.response.result.Has("result") &&
                        answer.response.result.IsTrue("result");
  evidence = (accepted ? "" : "expected result true, got ") + answer.Describe();
  return accepted;
}

void HostChecker::CheckAccepted(const std::string& name, const std::string& argumentKey,
                                const std::string& argument) {
  std::string evidence;
  const bool accepted = Accepted(name, argumentKey, argument, evidence);
  report_.Record(name, accepted, evidence);
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
  const int answers = session_.AnswerCount();
  const std::string count = std::to_string(answers) + " answers";
  // With nothing answered there is nothing to judge, and nothing to pass.
  if (answers == 0) {
    for (const char* name : {"answers.one-message-each", "answers.response-form",
                             "answers.nothing-unasked", "answers.proxies"}) {
      report_.Fail(name, "the host answered nothing");
    }
    return;
  }
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
  const auto& unasked = session_.UnaskedMessages();
  report_.Record("answers.nothing-unasked", unasked.empty(),
                 unasked.empty() ? "nothing came on the request pipe unasked, within " +
                                       std::to_string(PluginSession::kSecondAnswerWindowMs) +
                                       " ms after each answer or " + std::to_string(kIdleWatchMs) +
                                       " ms idle after a registration"
                                 : JoinLines(unasked));
  const auto& proxies = session_.ProxyProblems();
  report_.Record("answers.proxies", proxies.empty(),
                 proxies.empty()
                     ? std::to_string(session_.ProxyCount()) + " proxy descriptions in " + count +
                           ", each with a proxyId from 1 to 2147483647, a name "
                           "and functions"
                     : JoinLines(proxies));
}

void HostChecker::CheckUnload() {
  const char* name = "UnloadPlugin";
  IPC::RequestMessage request = session_.NewRequest("UnloadPlugin");
  request.args.Set("id", pluginId_);
  const Answer answer = session_.Exchange(request, kAnswerLimitMs);
  session_.Disconnect();
  if (!answer.received) {
    // A plug-in's CleanUp without a timeout would wait for ever.
    report_.Fail(name, answer.Describe());
    return;
  }
  // The host may end (its pipe refuses connections) or serve the next plug-in; either is
  // right, a host that does neither is not.
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(3);
  std::string lastSeen = "it kept refusing the next plug-in as busy";
  while (Clock::now() < deadline) {
    PluginSession probe(pluginId_);
    const auto ms = [&start] {
      return std::to_string(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    if (!probe.Connect(0)) {
      // Busy: the host still serves the checker's own connection, not yet noticed closed.
      if (probe.ConnectError() != IPC::ChannelError::Busy) {
        report_.Pass(name,
                     "answered, then the host ended: the request pipe refused connections "
                     "after " +
                         ms() + " ms");
        return;
      }
    } else {
      const Answer next = probe.Exchange(probe.NewRequest("GetKestrel"), kAnswerLimitMs);
      if (next.Succeeded()) {
        report_.Pass(name,
                     "answered, then the host kept serving: a new connection's "
                     "\"GetKestrel\" got status true after " +
                         ms() + " ms");
        return;
      }
      if (next.notSent || next.readError == IPC::ChannelError::Closed) {
        report_.Pass(name, "answered, then the host ended: a new connection was closed after " +
                               ms() + " ms");
        return;
      }
      lastSeen = "a new connection's \"GetKestrel\" got " + next.Describe();
    }
    probe.Disconnect();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  report_.Fail(name,
               "answered, but 3 s later the host had neither ended nor served the next "
               "plug-in: " +
                   lastSeen);
}

}  // namespace Check
