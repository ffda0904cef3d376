// The face's start and stop rules: which role a channel's mode calls for.
#include "ipc/IPCHandler.h"

#include <utility>

#include "base/Log.h"

namespace IPC {

IPCHandler::IPCHandler(std::unique_ptr<BaseMessageProcessor> processor)
    : processor_(std::move(processor)) {}

IPCHandler::~IPCHandler() { Stop(); }

bool IPCHandler::Start(std::unique_ptr<IPCInterface> channel, bool lend) {
  if (!channel || !channel->IsValid()) {
    LogError("IPCHandler : Failed to start as IPC interface object is invalid");
    return false;
  }
  if (channel.get() == channel_.get()) {
    (void)channel.release();  // already owned here
    return true;
  }
  // A running worker uses the old channel: it must end before that channel goes.
  StopWorker();
  channel_ = std::move(channel);
  if (!channel_->Open(kOpenTimeoutMs)) {
    return false;
  }
  return StartWorker(lend);
}

bool IPCHandler::StartWorker(bool lend) {
  switch (channel_->GetMode()) {
    case ServerRequest:
      return server_.Start(*channel_, processor_.get());
    case ServerCallback:
      return sender_.Start(*channel_);
    case ClientRequest:
      return true;
    case ClientCallback:
      return receiver_.Start(*channel_, processor_.get(), lend);
    default:
      // The channel stays, opened: only the worker is missing.
      LogError("IPCHandler : Invalid mode while starting thread for IPC communication",
               channel_->Name(), channel_->GetMode());
      return true;
  }
}

bool IPCHandler::HasWorker() const {
  return server_.IsRunning() || sender_.IsRunning() || receiver_.IsRunning();
}

void IPCHandler::StopWorker() {
  server_.Stop();
  sender_.Stop();
  receiver_.Stop();
}

void IPCHandler::Stop() {
  if (!channel_) {
    return;
  }
  StopWorker();
  channel_.reset();
}

bool IPCHandler::SendRequest(const std::string& request, std::string& response) {
  if (!channel_) {
    response.clear();
    client_.SetLastFailure(ExchangeFailure::NoChannel);
    LogError("IPCHandler : Failed to send request as IPC interface object is null");
    return false;
  }
  if (HasWorker()) {
    // The worker owns the channel; two threads must never use it at once.
    response.clear();
    client_.SetLastFailure(ExchangeFailure::NoChannel);
    LogError("IPCHandler : Failed to send request as the channel belongs to the worker thread");
    return false;
  }
  return client_.SendRequest(*channel_, request, response);
}

bool IPCHandler::WriteRequestNow(const std::string& request) {
  return channel_ && !HasWorker() && client_.WriteRequestNow(*channel_, request);
}

bool IPCHandler::ReadResponse(const std::string& request, std::string& response,
                              std::chrono::steady_clock::time_point written) {
  if (!channel_ || HasWorker()) {
    response.clear();
    client_.SetLastFailure(ExchangeFailure::NoChannel);
    return false;
  }
  return client_.ReadResponse(*channel_, request, response, written);
}

}  // namespace IPC
