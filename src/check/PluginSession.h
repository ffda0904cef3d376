// The checker's end of a host's request pipe: it sends requests as a plug-in does, times
// their answers, and keeps the evidence on every answer for the checks on answers as a whole.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ipc/ProxyInfo.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"

namespace Check {

// One message that came back, read as a plug-in reads it.
struct Answer {
  // A message came within the limit and decompressed.
  bool received = false;
  // Why nothing was read, when nothing was: Timeout when no answer came; BadMessage or
  // TooLarge for a message a plug-in cannot read; Closed when the host hung up.
  IPC::ChannelError readError = IPC::ChannelError::None;
  // Nothing could be sent: the connection is gone (the host hung up or ended).
  bool notSent = false;
  std::string text;
  double elapsedMs = 0;
  // No answer came within limitMs; when it came later, how late (else 0).
  uint32_t limitMs = 0;
  double lateMs = 0;
  // The text is a JSON object of the response form, read as a plug-in reads it (which
  // does not compare identifiers).
  bool isResponse = false;
  // What is wrong with its form (see FormProblem), or empty.
  std::string problem;
  IPC::ResponseMessage response;
  // Every proxy description in the result, in the order they appear.
  std::vector<IPC::ProxyInfo> proxies;

  // "status true, result ..." or "status false, errorStr ... errorCode ...", or why not.
  std::string Describe() const;
  // Describe without the text of a success.
  std::string Summary() const;
  bool Succeeded() const { return received && isResponse && response.status; }
  bool FailedWithText() const {
    return received && isResponse && !response.status && !response.errorStr.empty();
  }
};

class PluginSession {
  using Clock = std::chrono::steady_clock;

 public:
  // How long the session listens after an answer for a second one to the same request.
  static constexpr uint32_t kSecondAnswerWindowMs = 100;
  // How long it waits on for an answer that missed its limit, so that a slow answer does
  // not pass for the answer to the next request (once: not again after one never came).
  static constexpr uint32_t kCatchUpMs = 3000;

  explicit PluginSession(std::string pluginId);

  bool Connect(uint32_t limitMs);
  // Why the last Connect failed (Busy: the host serves another client).
  IPC::ChannelError ConnectError() const { return connectError_; }
  void Disconnect();
  bool IsConnected() const { return pipe_ && pipe_->IsOpen(); }
  const std::string& PluginId() const { return pluginId_; }

  // A request of the checker's own, with a fresh identifier.
  IPC::RequestMessage NewRequest(const std::string& name, int64_t proxyId = -1);
  // Sends the request and waits up to limitMs for its answer.
  Answer Exchange(const IPC::RequestMessage& request, uint32_t limitMs);
  // Sends any text, or an already compressed stream, and takes the answer that may come.
  Answer SendText(const std::string& text, uint32_t limitMs);
  Answer SendStream(const std::string& stream, uint32_t limitMs);

  // Reads the request pipe for limitMs while no request is outstanding: whatever comes
  // is unasked.
  void WatchIdle(uint32_t limitMs, const std::string& after);

  // Checks a message that came on another pipe (a callback) as answers are checked:
  // every proxy description in its arguments. `where` names it in the evidence.
  void NoteProxies(const IPC::WireMembers& members, const std::string& where);

  // Evidence gathered over every answer so far.
  int AnswerCount() const { return answers_; }
  // Second answers to one request, and answers split over two messages.
  const std::vector<std::string>& SecondAnswers() const { return secondAnswers_; }
  // Messages on the request pipe that answered no request: after an answer, or while idle.
  const std::vector<std::string>& UnaskedMessages() const { return unasked_; }
  // Proxy descriptions a plug-in refuses, with the answer they came in.
  const std::vector<std::string>& ProxyProblems() const { return proxyProblems_; }
  int ProxyCount() const { return proxiesSeen_; }
  // How often each proxy identifier was handed out, counted as a plug-in counts them.
  const std::map<int64_t, int>& HandedOut() const { return handedOut_; }
  void NoteReleased(int64_t proxyId, int count);
  // Messages that came as answers but could not be read as a plug-in reads them.
  const std::vector<std::string>& UnreadableAnswers() const { return unreadable_; }
  const std::vector<std::string>& FormProblems() const { return formProblems_; }

 private:
  static Answer NotSent();
  // Files every message already waiting before the request `what` is sent as unasked.
  void TakeWaiting(const std::string& what);
  // A message that answers no request, found where `where` says; a late answer to a
  // request that timed out is not filed, since a plug-in drops it.
  void FileUnasked(const std::string& where, const std::string& text);
  bool IsLateAnswer(const std::string& text) const;
  // After a time-out: waits up to kCatchUpMs for the answer to requestId, dropping it
  // as a plug-in does; how long it took in all, or 0 when it did not come.
  double CatchUp(uint64_t requestId, const std::string& what, Clock::time_point start);
  Answer Await(uint64_t requestId, const std::string& what, uint32_t limitMs);
  // Files a message that came after the answer to `what`, or while idle.
  void NoteExtra(const Answer& answer, uint64_t requestId, const std::string& extra,
                 const std::string& what);
  void NoteProxies(const IPC::WireValue& value, const std::string& where,
                   std::vector<IPC::ProxyInfo>* found);

  std::string pluginId_;
  std::unique_ptr<IPC::NamedPipe> pipe_;
  IPC::ChannelError connectError_ = IPC::ChannelError::None;
  uint64_t nextRequestId_;
  int answers_ = 0;
  std::vector<std::string> secondAnswers_;
  std::vector<std::string> unasked_;
  std::vector<std::string> unreadable_;
  std::vector<std::string> formProblems_;
  std::vector<std::string> proxyProblems_;
  int proxiesSeen_ = 0;
  std::map<int64_t, int> handedOut_;
  // Requests that got no answer within their limit.
  std::set<uint64_t> timedOut_;
  bool catchUpFailed_ = false;
};

// Why a plug-in refuses a proxy description ("empty function list", ...), or empty when
// it takes it: the add-on's own rules.
std::string ProxyProblem(const IPC::ProxyInfo& proxy);
// "proxy 5 \"Document\" with 3 functions (GetTitle, SetTitle, Close)", host text escaped.
std::string DescribeProxy(const IPC::ProxyInfo& proxy);

// Why a text is not a JSON object of the response form ("no boolean status", "requestId
// 124 is not the request's 123"), or empty when it is. When requestId is not 0, an answer
// that carries "requestId" must carry this one.
std::string FormProblem(const std::string& text, uint64_t requestId);

// At most `limit` bytes of a host's text, escaped as the log escapes peer text, so that
// nothing a host sends can start a line of the report.
std::string Excerpt(const std::string& text, size_t limit = 120);
// Pieces of evidence on one line, separated by "; ": the first five, and how many more.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace Check
