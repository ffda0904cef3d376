// The handler the rest of the code knows: owns one message channel and, chosen by the
// channel's mode, runs the one role it calls for. Each role is a small class of its own
// that can also be used without this face:
//   mode 1, ServerRequest:  RequestServer    serves requests with the processor
//   mode 2, ServerCallback: CallbackSender   sends queued messages
//   mode 3, ClientRequest:  RequestClient    request/response exchanges (SendRequest)
//   mode 4, ClientCallback: CallbackReceiver hands callback messages to the processor
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ipc/BaseMessageProcessor.h"
#include "ipc/CallbackReceiver.h"
#include "ipc/CallbackSender.h"
#include "ipc/RequestClient.h"
#include "ipc/RequestServer.h"
#include "transport/IPCInterface.h"

namespace IPC {

class IPCHandler {
 public:
  // The processor may be null; the handler owns it.
  explicit IPCHandler(std::unique_ptr<BaseMessageProcessor> processor = nullptr);
  // Stops the worker first, then destroys the channel and the processor.
  ~IPCHandler();

  IPCHandler(const IPCHandler&) = delete;
  IPCHandler& operator=(const IPCHandler&) = delete;

  // Takes the channel, opens it within 300 ms and, for modes 1, 2 and 4, starts the
  // worker. An invalid channel is refused (and destroyed); a channel that fails to
  // open is kept, closed. Passing the channel already held changes nothing.
  // lend (mode 4): the messages are lent to an event loop (see CallbackReceiver).
  bool Start(std::unique_ptr<IPCInterface> channel, bool lend = false);
  // Ends the worker, if any, and destroys the channel.
  void Stop();

  // One exchange on a client request channel (see RequestClient::SendRequest).
  bool SendRequest(const std::string& request, std::string& response);
  // The halves of SendRequest (see RequestClient::WriteRequestNow); false when the
  // channel is missing or belongs to a worker, as for SendRequest.
  bool WriteRequestNow(const std::string& request);
  bool ReadResponse(const std::string& request, std::string& response,
                    std::chrono::steady_clock::time_point written = {});
  // A mode-4 handler: returns once what had reached its pipe has been handed to the
  // processor (see CallbackReceiver::CatchUp).
  void CatchUpCallbacks() {
    if (channel_ != nullptr) receiver_.CatchUp(*channel_);
  }
  // A mode-4 handler lent to an event loop: see CallbackReceiver::ReadWaiting and TakeBack.
  bool ReadWaitingCallbacks() {
    return channel_ != nullptr && receiver_.ReadWaiting(*channel_, processor_.get());
  }
  void TakeBackCallbacks() { receiver_.TakeBack(); }
  // Why the last SendRequest failed.
  ExchangeFailure LastFailure() const { return client_.LastFailure(); }

  // The outgoing queue, sent one by one by a mode-2 worker.
  bool QueueMessage(std::string message) { return sender_.QueueMessage(std::move(message)); }
  bool DequeueMessage(std::string& message) { return sender_.DequeueMessage(message); }
  bool IsQueueEmpty() { return sender_.IsQueueEmpty(); }

  // The API time-out in milliseconds; 0 waits for a response without limit.
  void SetTimeout(uint32_t timeoutMs) { client_.SetTimeout(timeoutMs); }
  uint32_t GetTimeout() const { return client_.GetTimeout(); }

  BaseMessageProcessor* GetProcessor() const { return processor_.get(); }
  IPCInterface* GetChannel() const { return channel_.get(); }

 private:
  static constexpr uint32_t kOpenTimeoutMs = 300;

  bool StartWorker(bool lend);
  void StopWorker();
  bool HasWorker() const;

  // Declared in reverse order of destruction: the roles (and their threads) go first,
  // then the channel they use and last the processor.
  std::unique_ptr<BaseMessageProcessor> processor_;
  std::unique_ptr<IPCInterface> channel_;
  RequestClient client_;
  RequestServer server_;
  CallbackSender sender_;
  CallbackReceiver receiver_;
};

}  // namespace IPC
