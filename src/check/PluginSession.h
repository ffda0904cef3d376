// The checker's end of a host's request pipe: it sends requests as a plug-in does, times
// their answers, and keeps the evidence on every answer for the checks on answers as a whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  // The text is a JSON object of the response form (see FormProblem).
  bool isResponse = false;
  IPC::ResponseMessage response;

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
 public:
  // How long the session listens after an answer for a second one to the same request.
  static constexpr uint32_t kSecondAnswerWindowMs = 100;

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

  // Evidence gathered over every answer so far.
  int AnswerCount() const { return answers_; }
  const std::vector<std::string>& SecondAnswers() const { return secondAnswers_; }
  // Messages that came as answers but could not be read as a plug-in reads them.
  const std::vector<std::string>& UnreadableAnswers() const { return unreadable_; }
  const std::vector<std::string>& FormProblems() const { return formProblems_; }

 private:
  static Answer NotSent();
  Answer Await(uint64_t requestId, const std::string& what, uint32_t limitMs);

  std::string pluginId_;
  std::unique_ptr<IPC::NamedPipe> pipe_;
  IPC::ChannelError connectError_ = IPC::ChannelError::None;
  uint64_t nextRequestId_;
  int answers_ = 0;
  std::vector<std::string> secondAnswers_;
  std::vector<std::string> unreadable_;
  std::vector<std::string> formProblems_;
};

// Why a text is not a JSON object of the response form, or empty when it is. When
// requestId is not 0, an answer that carries "requestId" must carry this one.
std::string FormProblem(const std::string& text, uint64_t requestId);

// At most `limit` bytes of a text, for evidence.
std::string Excerpt(const std::string& text, size_t limit = 120);

}  // namespace Check
