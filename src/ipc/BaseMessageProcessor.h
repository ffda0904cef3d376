// What the handler's roles hand their incoming messages to: a request server asks a
// RequestProcessor for each answer, a callback receiver gives each message to a
// CallbackProcessor. BaseMessageProcessor is both, for code that picks the role by mode.
#pragma once

#include <functional>
#include <string>

namespace IPC {

// A request server's answer to one request. Sent as `stream` when that is set (`text`
// compressed already, as IPCInterface::WriteCompressed takes it; `text` is kept for the
// trace and for the check that the client will not refuse to decompress it, which a
// stream sent without its text skips), else as `text`; nothing is sent when both are empty. `afterWrite` runs once the answer was written (sent or not),
// or at once when nothing is sent.
struct ServerAnswer {
  std::string text;
  std::string stream;
  std::function<void()> afterWrite;

  // Buffers up to this size are kept for the next answer: freeing and taking back 100 KB
  // every call makes the allocator hand the pages back and fault them in again. A larger
  // answer's buffer is not kept.
  static constexpr size_t kKeptBytes = 1024 * 1024;

  void Clear() {
    ClearKeeping(text);
    ClearKeeping(stream);
    afterWrite = nullptr;
  }

 private:
  static void ClearKeeping(std::string& buffer) {
    if (buffer.capacity() > kKeptBytes) {
      std::string().swap(buffer);
    } else {
      buffer.clear();
    }
  }
};

class RequestProcessor {
 public:
  virtual ~RequestProcessor() = default;
  // Fills the answer to one request (it arrives cleared).
  virtual void Answer(const std::string& request, ServerAnswer& answer) = 0;
  // A message arrived that is no readable request (it could not be decompressed): the
  // answer, if any, tells the client so at once instead of leaving it waiting.
  virtual void AnswerUnreadable(ServerAnswer& /*answer*/) {}
  // The channel refused to send the answer (too large, or so repetitive that the client
  // would refuse to decompress it): a replacement answer, if any, is sent instead.
  virtual void AnswerRefused(const ServerAnswer& /*refused*/, ServerAnswer& /*instead*/) {}
  // The client's connection ended (it closed, or was dropped); the next request, if any,
  // comes from a new client. Called on the serving thread, between requests.
  virtual void ConnectionEnded() {}
};

class CallbackProcessor {
 public:
  virtual ~CallbackProcessor() = default;
  // Handles one callback message; nothing is sent back.
  virtual void ProcessCallbackMessage(const std::string& message) = 0;
};

// Both operations do nothing here; a processor overrides the one its handler's mode
// uses (requests for the serving end, callback messages for the receiving end).
class BaseMessageProcessor : public RequestProcessor, public CallbackProcessor {
 public:
  // Answers one request; a response left empty is refused by the channel, with its line.
  virtual void ProcessRequest(const std::string& /*request*/, std::string& /*response*/) {}
  void ProcessCallbackMessage(const std::string& /*message*/) override {}

  void Answer(const std::string& request, ServerAnswer& answer) override {
    ProcessRequest(request, answer.text);
  }
};

}  // namespace IPC
