// The checker's plug-in end of the request pipe, and the reading of answers.
#include "check/PluginSession.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "base/PeerText.h"
#include "variant/KvVariantMap.h"

namespace Check {

namespace {

using Clock = std::chrono::steady_clock;

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Millis(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", ms);
  return text;
}

uint64_t NowMillis() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

// Reads text as a response; false when it is not one.
bool ReadResponse(const std::string& text, IPC::ResponseMessage& message) {
  return FormProblem(text, 0).empty() && message.FromJSONString(text);
}

// A callback's form: success, a string result, no request identifier.
bool IsCallbackForm(const IPC::ResponseMessage& message) {
  return message.status && message.requestId == IPC::ResponseMessage::kNoRequestId &&
         message.result.IsString("result");
}

// A message on the request pipe that answers no request, named for what it is.
std::string DescribeUnasked(const std::string& text) {
  IPC::ResponseMessage message;
  if (ReadResponse(text, message) && IsCallbackForm(message)) {
    return "a callback (\"" + Excerpt(message.result.GetString("result"), 60) +
           "\") on the request pipe, which a plug-in takes for the answer to its next request";
  }
  return "an unasked message: " + Excerpt(text, 60);
}

}  // namespace

std::string Excerpt(const std::string& text, size_t limit) { return IPC::PeerText(text, limit); }

std::string JoinLines(const std::vector<std::string>& lines) {
  constexpr size_t kShown = 5;
  std::string text;
  for (size_t i = 0; i < lines.size() && i < kShown; ++i) {
    if (!text.empty()) text += "; ";
    text += lines[i];
  }
  if (lines.size() > kShown) text += "; and " + std::to_string(lines.size() - kShown) + " more";
  return text;
}

std::string ProxyProblem(const IPC::ProxyInfo& proxy) {
  switch (IPC::ValidateProxyInfo(proxy)) {
    case IPC::ProxyFault::InvalidId:
      return "proxyId out of 1..2147483647";
    case IPC::ProxyFault::EmptyName:
      return "empty name";
    case IPC::ProxyFault::NoFunctions:
      return "empty function list";
    case IPC::ProxyFault::None:
      break;
  }
  return "";
}

std::string DescribeProxy(const IPC::ProxyInfo& proxy) {
  constexpr size_t kShown = 6;
  std::string names;
  for (size_t i = 0; i < proxy.functions.size() && i < kShown; ++i) {
    if (i > 0) names += ", ";
    names += Excerpt(proxy.functions[i], 60);
  }
  if (proxy.functions.size() > kShown) names += ", ...";
  return "proxy " + std::to_string(proxy.proxyId) + " \"" + Excerpt(proxy.name, 60) + "\" with " +
         std::to_string(proxy.functions.size()) + " functions (" + names + ")";
}

std::string FormProblem(const std::string& text, uint64_t requestId) {
  const IPC::KvVariantMap message(text);
  const std::vector<std::string> keys = message.GetKeys();
  if (keys.empty()) return "not a JSON object with members";
  if (keys.size() != 1 || keys[0] != "response" || !message.IsMap("response")) {
    return "not of the form {\"response\":{...}}";
  }
  const auto response = message.GetVariantMap("response");
  if (!response->Has("status") || !response->IsBool("status")) return "no boolean status";
  if (requestId != 0 && response->Has("requestId")) {
    if (!response->IsUInt64("requestId")) {
      return "requestId is not an unsigned integer (the request's is " + std::to_string(requestId) +
             ")";
    }
    const uint64_t answered = response->GetUInt64("requestId");
    if (answered != requestId) {
      return "requestId " + std::to_string(answered) + " is not the request's " +
             std::to_string(requestId);
    }
  }
  if (!response->GetBool("status") && response->Has("error")) {
    if (!response->IsMap("error")) return "\"error\" is not an object";
    const auto error = response->GetVariantMap("error");
    if (!error->Has("errorStr") || !error->IsString("errorStr")) {
      return "\"error\" has no string \"errorStr\"";
    }
    if (error->Has("errorCode") && !error->IsInt64("errorCode")) {
      return "\"errorCode\" is not an integer";
    }
  }
  return "";
}

std::string Answer::Describe() const {
  if (notSent) return "nothing: the connection is gone, the host hung up or ended";
  switch (readError) {
    case IPC::ChannelError::None:
    case IPC::ChannelError::Timeout:
      break;
    case IPC::ChannelError::Closed:
      return "nothing: the host hung up";
    case IPC::ChannelError::BadMessage:
      return "a message that is not a valid bzip2 stream of a text";
    case IPC::ChannelError::TooLarge:
      return "a message longer than 102400 bytes";
    default:
      return std::string("a failed read (") + IPC::ChannelErrorName(readError) + ")";
  }
  if (!received) {
    std::string text = "no answer";
    if (limitMs > 0) text += " within " + std::to_string(limitMs) + " ms";
    if (lateMs > 0) text += " (it came after " + Millis(lateMs) + ")";
    return text;
  }
  if (!isResponse) return "not a response (" + problem + "): " + Excerpt(text);
  if (response.status) {
    return "status true in " + Millis(elapsedMs) + ": " + Excerpt(text);
  }
  std::string description = "status false in " + Millis(elapsedMs);
  if (!response.errorStr.empty())
    description += ", errorStr \"" + Excerpt(response.errorStr) + "\"";
  if (response.errorCode != IPC::ResponseMessage::kNoErrorCode) {
    description += ", errorCode " + std::to_string(response.errorCode);
  }
  return description;
}

std::string Answer::Summary() const {
  return Succeeded() ? "status true in " + Millis(elapsedMs) : Describe();
}

PluginSession::PluginSession(std::string pluginId)
    : pluginId_(std::move(pluginId)), nextRequestId_(NowMillis()) {}

bool PluginSession::Connect(uint32_t limitMs) {
  pipe_ = std::make_unique<IPC::NamedPipe>(pluginId_, IPC::ClientRequest);
  if (pipe_->Open(limitMs)) return true;
  connectError_ = pipe_->LastError();
  pipe_.reset();
  return false;
}

void PluginSession::Disconnect() { pipe_.reset(); }

IPC::RequestMessage PluginSession::NewRequest(const std::string& name, int64_t proxyId) {
  IPC::RequestMessage request;
  request.requestId = nextRequestId_++;
  request.name = name;
  request.proxyId = proxyId;
  return request;
}

Answer PluginSession::Exchange(const IPC::RequestMessage& request, uint32_t limitMs) {
  const std::string what = "\"" + request.name + "\"";
  TakeWaiting(what);
  if (!IsConnected() || !pipe_->Write(request.ToJSONString(), 300)) return NotSent();
  return Await(request.requestId, what, limitMs);
}

Answer PluginSession::SendText(const std::string& text, uint32_t limitMs) {
  const std::string what = "\"" + Excerpt(text, 40) + "\"";
  TakeWaiting(what);
  if (!IsConnected() || !pipe_->Write(text, 300)) return NotSent();
  return Await(0, what, limitMs);
}

Answer PluginSession::SendStream(const std::string& stream, uint32_t limitMs) {
  TakeWaiting("a raw stream");
  if (!IsConnected() || !pipe_->WriteCompressed(stream, 300)) return NotSent();
  return Await(0, "a raw stream", limitMs);
}

void PluginSession::TakeWaiting(const std::string& what) {
  // A plug-in discards what waits before its request; it would have taken it for an answer.
  std::string text;
  while (IsConnected() && pipe_->Read(text, 0)) {
    FileUnasked("waiting before " + what + " was sent", text);
  }
}

Answer PluginSession::NotSent() {
  Answer answer;
  answer.notSent = true;
  return answer;
}

Answer PluginSession::Await(uint64_t requestId, const std::string& what, uint32_t limitMs) {
  Answer answer;
  if (!IsConnected()) return answer;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(limitMs);
  uint32_t left = limitMs;
  for (;;) {
    answer.received = pipe_->Read(answer.text, left);
    // As a plug-in does: a late answer to a request that timed out is dropped, and the
    // reading goes on.
    if (!answer.received || !IsLateAnswer(answer.text)) break;
    const auto rest =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    left = rest > 0 ? static_cast<uint32_t>(rest) : 0;
  }
  answer.elapsedMs = MillisSince(start);
  if (!answer.received) {
    answer.readError = pipe_->LastError();
    if (answer.readError == IPC::ChannelError::Timeout) {
      answer.limitMs = limitMs;
      if (requestId != 0) answer.lateMs = CatchUp(requestId, what, start);
    }
    if (answer.readError == IPC::ChannelError::BadMessage ||
        answer.readError == IPC::ChannelError::TooLarge) {
      unreadable_.push_back("the answer to " + what + " was " + answer.Describe());
    }
    return answer;
  }
  ++answers_;
  answer.problem = FormProblem(answer.text, requestId);
  // Another request's identifier is a fault of form only: a plug-in takes the answer as
  // the answer all the same.
  answer.isResponse = (answer.problem.empty() || FormProblem(answer.text, 0).empty()) &&
                      answer.response.FromJSONString(answer.text);
  if (!answer.isResponse && answer.problem.empty()) answer.problem = "unreadable";
  if (answer.isResponse && answer.response.status) {
    NoteProxies(answer.response.ResultValue(), "the answer to " + what, &answer.proxies);
  }
  // One request, one answer: anything that follows at once is more of it, or unasked.
  std::string extra;
  const bool more = pipe_->Read(extra, kSecondAnswerWindowMs);
  if (more) NoteExtra(answer, requestId, extra, what);
  if (!answer.problem.empty() && !(more && FormProblem(answer.text + extra, requestId).empty())) {
    formProblems_.push_back("the answer to " + what + ": " + answer.problem + ": " +
                            Excerpt(answer.text, 60));
  }
  return answer;
}

void PluginSession::NoteExtra(const Answer& answer, uint64_t requestId, const std::string& extra,
                              const std::string& what) {
  if (IsLateAnswer(extra)) return;  // dropped, as a plug-in drops it
  if (!answer.isResponse && FormProblem(answer.text + extra, requestId).empty()) {
    secondAnswers_.push_back("the answer to " + what + " came split over two messages: " +
                             Excerpt(answer.text, 40) + " and " + Excerpt(extra, 40));
    return;
  }
  // A request without an identifier (hostile input) has no way to tell its answers apart.
  IPC::ResponseMessage message;
  const bool sameRequest = ReadResponse(extra, message) && !IsCallbackForm(message) &&
                           (requestId == 0 || message.requestId == requestId);
  if (sameRequest) {
    secondAnswers_.push_back(what + " got a second message: " + Excerpt(extra, 60));
  } else {
    FileUnasked("after the answer to " + what, extra);
  }
}

double PluginSession::CatchUp(uint64_t requestId, const std::string& what,
                              Clock::time_point start) {
  timedOut_.insert(requestId);
  if (catchUpFailed_) return 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kCatchUpMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    std::string text;
    if (left <= 0 || !pipe_->Read(text, static_cast<uint32_t>(left))) break;
    IPC::ResponseMessage message;
    if (ReadResponse(text, message) && message.requestId == requestId) return MillisSince(start);
    FileUnasked("while waiting for the late answer to " + what, text);
  }
  catchUpFailed_ = true;
  return 0;
}

bool PluginSession::IsLateAnswer(const std::string& text) const {
  IPC::ResponseMessage message;
  return !timedOut_.empty() && ReadResponse(text, message) &&
         timedOut_.count(message.requestId) > 0;
}

void PluginSession::FileUnasked(const std::string& where, const std::string& text) {
  if (!IsLateAnswer(text)) unasked_.push_back(where + ": " + DescribeUnasked(text));
}

void PluginSession::WatchIdle(uint32_t limitMs, const std::string& after) {
  if (!IsConnected()) return;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  // One look at least, however short the limit.
  uint32_t left = limitMs;
  for (;;) {
    std::string text;
    if (pipe_->Read(text, left)) {
      FileUnasked("while idle after " + after, text);
    } else if (pipe_->LastError() != IPC::ChannelError::Timeout) {
      unasked_.push_back("while idle after " + after + ": a message a plug-in cannot read (" +
                         IPC::ChannelErrorName(pipe_->LastError()) + ")");
      if (pipe_->LastError() == IPC::ChannelError::Closed) return;
    }
    const auto rest =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (rest <= 0) return;
    left = static_cast<uint32_t>(rest);
  }
}

void PluginSession::NoteProxies(const IPC::WireMembers& members, const std::string& where) {
  for (const auto& member : members) NoteProxies(member.second, where, nullptr);
}

void PluginSession::NoteProxies(const IPC::WireValue& value, const std::string& where,
                                std::vector<IPC::ProxyInfo>* found) {
  using Kind = IPC::WireValue::Kind;
  if (value.GetKind() == Kind::Table) {
    for (const auto& member : value.Members()) NoteProxies(member.second, where, found);
    return;
  }
  if (value.GetKind() != Kind::Proxy) return;
  ++proxiesSeen_;
  const IPC::ProxyInfo* proxy = value.GetProxy();
  if (proxy == nullptr) {
    proxyProblems_.push_back(where + ": a proxy without its description (no \"value\")");
    return;
  }
  const std::string fault = ProxyProblem(*proxy);
  if (!fault.empty()) {
    proxyProblems_.push_back(where + ": " + fault + ": " + DescribeProxy(*proxy));
    return;
  }
  ++handedOut_[proxy->proxyId];
  if (found) found->push_back(*proxy);
}

void PluginSession::NoteReleased(int64_t proxyId, int count) {
  const auto entry = handedOut_.find(proxyId);
  if (entry == handedOut_.end()) return;
  entry->second -= count;
  if (entry->second <= 0) handedOut_.erase(entry);
}

}  // namespace Check
