// The checker's plug-in end of the request pipe, and the reading of answers.
#include "check/PluginSession.h"

#include <chrono>
#include <cstdio>
#include <utility>

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

}  // namespace

std::string Excerpt(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  return text.substr(0, limit) + "... (" + std::to_string(text.size()) + " bytes)";
}

std::string FormProblem(const std::string& text, uint64_t requestId) {
  const IPC::KvVariantMap message(text);
  const std::vector<std::string> keys = message.GetKeys();
  if (keys.empty()) return "not a JSON object with members";
  if (keys.size() != 1 || keys[0] != "response" || !message.IsMap("response")) {
    return "not of the form {\"response\":{...}}";
  }
  const auto response = message.GetVariantMap("response");
  if (!response->Has("status") || !response->IsBool("status")) {
    return "\"status\" missing or not a boolean";
  }
  if (requestId != 0 && response->Has("requestId") &&
      (!response->IsUInt64("requestId") || response->GetUInt64("requestId") != requestId)) {
    return "\"requestId\" is not the request's (" + std::to_string(requestId) + ")";
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
  if (!received) return "no answer";
  if (!isResponse) return "not a response: " + Excerpt(text);
  if (response.status) {
    return "status true in " + Millis(elapsedMs) + ": " + Excerpt(text);
  }
  std::string description = "status false in " + Millis(elapsedMs);
  if (!response.errorStr.empty()) description += ", errorStr \"" + response.errorStr + "\"";
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
  if (!IsConnected() || !pipe_->Write(request.ToJSONString(), 300)) return NotSent();
  return Await(request.requestId, "\"" + request.name + "\"", limitMs);
}

Answer PluginSession::SendText(const std::string& text, uint32_t limitMs) {
  if (!IsConnected() || !pipe_->Write(text, 300)) return NotSent();
  return Await(0, "\"" + Excerpt(text, 40) + "\"", limitMs);
}

Answer PluginSession::SendStream(const std::string& stream, uint32_t limitMs) {
  if (!IsConnected() || !pipe_->WriteCompressed(stream, 300)) return NotSent();
  return Await(0, "a raw stream", limitMs);
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
  answer.received = pipe_->Read(answer.text, limitMs);
  answer.elapsedMs = MillisSince(start);
  if (!answer.received) {
    answer.readError = pipe_->LastError();
    if (answer.readError == IPC::ChannelError::BadMessage ||
        answer.readError == IPC::ChannelError::TooLarge) {
      unreadable_.push_back("the answer to " + what + " was " + answer.Describe());
    }
    return answer;
  }
  ++answers_;
  const std::string problem = FormProblem(answer.text, requestId);
  answer.isResponse = problem.empty() && answer.response.FromJSONString(answer.text);
  if (!answer.isResponse) {
    formProblems_.push_back("the answer to " + what + ": " +
                            (problem.empty() ? "unreadable" : problem) + ": " +
                            Excerpt(answer.text, 60));
  }
  // One request, one answer: anything more that follows at once is a second answer.
  std::string second;
  if (pipe_->Read(second, kSecondAnswerWindowMs)) {
    secondAnswers_.push_back(what + " got a second message: " + Excerpt(second, 60));
  }
  return answer;
}

}  // namespace Check
