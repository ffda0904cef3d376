// Serving one plug-in: the request pipe's handler and processor, the callback queue,
// and the test hooks that answer requests otherwise.
#include "host/HostService.h"

#include <chrono>
#include <utility>

#include "host/RequestChannel.h"
#include "ipc/BaseMessageProcessor.h"
#include "ipc/IPCHandler.h"
#include "base/Log.h"
#include "ipc/ResponseMessage.h"
#include "transport/Bzip2Codec.h"
#include "transport/NamedPipe.h"

namespace Host {

namespace {

constexpr uint32_t kWriteTimeoutMs = 300;
constexpr uint32_t kOpenTimeoutMs = 300;
// A text up to this size always compresses to what one message may carry, since the
// compressor's worst case is its capacity: (size + 1) x 1.01 + 600 bytes.
constexpr size_t kAlwaysFits = 100000;

}  // namespace

// Hands each request of the serving thread to the service.
class HostService::Processor : public IPC::BaseMessageProcessor {
 public:
  explicit Processor(HostService& service) : service_(service) {}
  void ProcessRequest(const std::string& request, std::string& response) override {
    service_.HandleRequest(request, response);
  }

 private:
  HostService& service_;
};

HostService::HostService(std::string pluginId)
    : pluginId_(std::move(pluginId)),
      dispatcher_(registry_),
      sizer_(std::make_unique<IPC::Bzip2Codec>()) {}

HostService::~HostService() { Stop(); }

bool HostService::Start() {
  if (running_) {
    return true;
  }
  {
    std::lock_guard<std::mutex> lock(stateLock_);
    stopping_ = false;
    dropped_ = false;
    resumeWanted_ = false;
  }
  auto requests = std::make_unique<IPC::IPCHandler>(std::make_unique<Processor>(*this));
  auto callbacks = std::make_unique<IPC::IPCHandler>();
  // The handler must be reachable from the request thread before that thread starts.
  requests_ = std::move(requests);
  auto requestPipe = std::make_unique<IPC::NamedPipe>(pluginId_, IPC::ServerRequest);
  auto requestChannel = std::make_unique<RequestChannel>(std::move(requestPipe));
  requestChannel_ = requestChannel.get();
  if (!requests_->Start(std::move(requestChannel)) ||
      !callbacks->Start(
          std::make_unique<IPC::NamedPipe>(pluginId_ + "_callback", IPC::ServerCallback))) {
    IPC::LogError("HostService : Failed to start serving the plug-in's pipes");
    requests_.reset();
    requestChannel_ = nullptr;
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(callbackLock_);
    callbacks_ = std::move(callbacks);
  }
  running_ = true;
  return true;
}

void HostService::Stop() {
  {
    std::lock_guard<std::mutex> lock(stateLock_);
    stopping_ = true;
  }
  stateChanged_.notify_all();
  // Joins the request thread, which a delay or a drop cuts short. The handler stays in
  // place until then: the request thread reaches its channel through it.
  if (requests_) {
    requests_->Stop();
    requests_.reset();
    requestChannel_ = nullptr;
  }
  std::unique_ptr<IPC::IPCHandler> callbacks;
  {
    std::lock_guard<std::mutex> lock(callbackLock_);
    callbacks = std::move(callbacks_);
  }
  callbacks.reset();
  running_ = false;
}

bool HostService::FireCallback(const std::string& name) {
  if (!dispatcher_.IsCallbackRegistered(name)) {
    return false;
  }
  return SendCallbackText(IPC::ResponseMessage(0, name).ToJSONString());
}

bool HostService::SendCallbackText(std::string text) {
  std::lock_guard<std::mutex> lock(callbackLock_);
  if (!callbacks_) {
    return false;
  }
  callbacks_->QueueMessage(std::move(text));
  return true;
}

void HostService::HandleRequest(const std::string& request, std::string& response) {
  RequestAction action;
  if (filter_) {
    action = filter_(request);
  }
  if (action.delayMs > 0 && !WaitUnlessStopping(action.delayMs)) {
    response.clear();
    return;
  }
  switch (action.kind) {
    case RequestAction::Kind::Reply:
      response = std::move(action.text);
      return;
    case RequestAction::Kind::NoReply:
      response.clear();
      return;
    case RequestAction::Kind::Drop:
      response.clear();
      DropConnection();
      return;
    case RequestAction::Kind::Answer:
      break;
  }
  const bool hadCallbacks = !dispatcher_.GetRegisteredCallbacks().empty();
  const RequestDispatcher::Outcome outcome = dispatcher_.Dispatch(request, response);
  if (!hadCallbacks && !dispatcher_.GetRegisteredCallbacks().empty()) {
    RenewCallbackPipe();
  }
  FitResponse(outcome.requestId, response);
  if (outcome.unload && unloadHandler_) {
    // The owner may stop the service as soon as it hears of the unload, so the answer
    // must be out first.
    requestChannel_->AfterNextWrite(unloadHandler_);
  }
}

// The plug-in opens the callback pipe anew for its first callback. A Windows pipe instance
// stays tied to a plug-in that closed it until the host next writes to it, so a fresh
// instance must be listening before the registration is answered.
void HostService::RenewCallbackPipe() {
  std::lock_guard<std::mutex> lock(callbackLock_);
  if (!callbacks_) {
    return;
  }
  callbacks_->Stop();
  if (!callbacks_->Start(
          std::make_unique<IPC::NamedPipe>(pluginId_ + "_callback", IPC::ServerCallback))) {
    IPC::LogError("HostService : Failed to renew the callback pipe");
  }
}

void HostService::FitResponse(uint64_t requestId, std::string& response) {
  if (response.size() <= kAlwaysFits) {
    return;
  }
  std::string stream;
  if (sizer_->Compress(response, stream) == 0 && stream.size() <= IPC::NamedPipe::kMaxMessageSize) {
    // Compressed once only: the channel sends this very stream.
    requestChannel_->SendNextAs(std::move(stream));
    return;
  }
  // Left as it is, the answer would be refused by the pipe and the plug-in would wait
  // for it until its time-out, or for ever without one.
  const std::string text = "Result too large to send (" + std::to_string(response.size()) +
                           " bytes, " + std::to_string(stream.size()) + " compressed)";
  response = IPC::ResponseMessage(requestId, text, ToInt(ErrorCode::BadResult)).ToJSONString();
}

void HostService::DropConnection() {
  IPC::IPCInterface* channel = requestChannel_;
  if (!channel) {
    return;
  }
  std::unique_lock<std::mutex> lock(stateLock_);
  dropped_ = true;
  resumeWanted_ = false;
  lock.unlock();
  // Closing the listening end too makes the plug-in's attempt to reconnect fail, so its
  // pending call fails at once instead of waiting on a new connection.
  channel->Close();
  lock.lock();
  stateChanged_.wait(lock, [this] { return stopping_ || resumeWanted_; });
  if (!stopping_) {
    lock.unlock();
    channel->Open(kOpenTimeoutMs);
    lock.lock();
  }
  dropped_ = false;
  resumeWanted_ = false;
  stateChanged_.notify_all();
}

bool HostService::ResumeListening() {
  std::unique_lock<std::mutex> lock(stateLock_);
  if (!dropped_) {
    return false;
  }
  resumeWanted_ = true;
  stateChanged_.notify_all();
  stateChanged_.wait(lock, [this] { return !dropped_; });
  return true;
}

bool HostService::WaitUnlessStopping(uint32_t ms) {
  std::unique_lock<std::mutex> lock(stateLock_);
  return !stateChanged_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

}  // namespace Host
