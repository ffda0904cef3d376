// The plug-in manager: connection, exchanges and unload of the one plug-in.
#include "bridge/PluginManager.h"

#include <memory>
#include <string>
#include <vector>

#include "base/Log.h"
#include "bridge/Callbacks.h"
#include "bridge/ReleaseBatcher.h"
#include "transport/NamedPipe.h"

namespace Hostlink {

PluginManager::PluginManager() : handler(nullptr) {}

PluginManager::~PluginManager() { handler.Stop(); }

std::string PluginManager::GetPluginId() const {
  std::lock_guard<std::mutex> guard(idLock);
  return pluginId;
}

bool PluginManager::Initialize(const std::string& id) {
  // A CleanUp in another thread cancels the turn; connecting comes after it.
  std::unique_ptr<RequestQueue::Turn> turn = std::make_unique<RequestQueue::Turn>();
  while (!turn->Granted()) {
    turn.reset();
    turn = std::make_unique<RequestQueue::Turn>();
  }
  if (IsInitialized()) {
    return true;  // another thread connected first
  }
  auto channel = std::make_unique<IPC::NamedPipe>(id, IPC::ClientRequest);
  if (!handler.Start(std::move(channel))) {
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(idLock);
    pluginId = id;
  }
  // Counts of proxies of an earlier connection mean nothing to this one.
  ReleaseBatcher::Instance().Reset();
  initialized.store(true, std::memory_order_release);
  return true;
}

bool PluginManager::CleanUp() {
  RequestQueue::CancellingHold hold;
  if (!IsInitialized()) {
    return true;
  }
  // The host hears the deregistrations first, while it surely listens: it may end as soon
  // as it has answered the unload.
  const std::vector<std::string> deregistered = DeregisterCallbacksWithHost();
  IPC::KvVariantMap args;
  args.Set("id", GetPluginId());
  IPC::RequestMessage request("UnloadPlugin", args, -1);
  std::string response;
  if (Exchange(request.ToJSONString(), response) != ExchangeOutcome::Answered) {
    // A failed CleanUp changes nothing: the plug-in's callbacks were never let go, and the
    // host gets back what it was told to forget.
    RegisterCallbacksAgainWithHost(deregistered);
    return false;
  }
  // Any answer counts as the host's acknowledgement; its content is not read.
  initialized.store(false, std::memory_order_release);
  ReleaseBatcher::Instance().Reset();
  EndCallbacks();
  handler.Stop();
  handler.SetTimeout(0);
  {
    std::lock_guard<std::mutex> guard(idLock);
    pluginId.clear();
  }
  // The runs of peer lines of this session end with it.
  IPC::FlushPeerLog();
  return true;
}

bool PluginManager::SendRequest(const IPC::RequestMessage& request, std::string& response) {
  const std::string text = request.ToJSONString();
  RequestQueue::Turn turn;
  return turn.Granted() && Exchange(text, response) == ExchangeOutcome::Answered;
}

ExchangeOutcome PluginManager::Exchange(const std::string& request, std::string& response) {
  if (!IsInitialized()) {
    return ExchangeOutcome::NotInitialized;
  }
  if (!handler.SendRequest(request, response)) {
    return Failure();
  }
  return ExchangeOutcome::Answered;
}

bool PluginManager::WriteNow(const std::string& request) {
  return IsInitialized() && handler.WriteRequestNow(request);
}

ExchangeOutcome PluginManager::ReadAnswer(const std::string& request, std::string& response,
                                          std::chrono::steady_clock::time_point written) {
  return handler.ReadResponse(request, response, written) ? ExchangeOutcome::Answered : Failure();
}

uint64_t PluginManager::Connection() const {
  const IPC::IPCInterface* channel = handler.GetChannel();
  return channel != nullptr ? channel->Connection() : 0;
}

bool PluginManager::PeerMayRunElsewhere() const {
  const IPC::IPCInterface* channel = handler.GetChannel();
  return channel != nullptr && channel->PeerMayRunElsewhere();
}

intptr_t PluginManager::DuplicateConnection() {
  IPC::IPCInterface* channel = handler.GetChannel();
  return channel != nullptr ? channel->DuplicateConnection() : -1;
}

ExchangeOutcome PluginManager::Failure() const {
  return handler.LastFailure() == IPC::ExchangeFailure::TooRepetitive
             ? ExchangeOutcome::TooRepetitive
             : ExchangeOutcome::SendFailed;
}

}  // namespace Hostlink
