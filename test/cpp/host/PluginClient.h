// The plug-in's end of both pipes, for tests that drive a host: a mode-3 handler for
// requests and a mode-4 channel read directly for callback messages.
#pragma once

#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>

#include "ipc/IPCHandler.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"
#include "variant/KvVariantMap.h"

namespace HostTest {

// A plug-in identifier no other test process uses.
inline std::string UniquePluginId(const std::string& prefix) {
  static std::atomic<int> counter{0};
  return prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

class PluginClient {
 public:
  explicit PluginClient(const std::string& pluginId, uint32_t timeoutMs = 10000)
      : pluginId_(pluginId) {
    requests_.SetTimeout(timeoutMs);
    connected_ = requests_.Start(std::make_unique<IPC::NamedPipe>(pluginId, IPC::ClientRequest));
  }

  bool IsConnected() const { return connected_; }
  void SetTimeout(uint32_t timeoutMs) { requests_.SetTimeout(timeoutMs); }

  // One raw exchange.
  bool Exchange(const std::string& request, std::string& response) {
    return requests_.SendRequest(request, response);
  }

  // Sends a request built from its parts; the response is parsed (status false when the
  // exchange failed or the text was no response).
  IPC::ResponseMessage Request(const std::string& name, const std::string& argsJson = "{}",
                               int64_t proxyId = -1) {
    IPC::RequestMessage request(name, IPC::KvVariantMap(argsJson), proxyId);
    IPC::ResponseMessage response;
    lastResponse_.clear();
    if (Exchange(request.ToJSONString(), lastResponse_)) {
      response.FromJSONString(lastResponse_);
    }
    return response;
  }

  const std::string& LastResponse() const { return lastResponse_; }

  // Connects the callback pipe, as the plug-in does after registering a callback.
  bool OpenCallbacks() {
    callbacks_ = std::make_unique<IPC::NamedPipe>(pluginId_ + "_callback", IPC::ClientCallback);
    return callbacks_->Open(300);
  }

  // The next callback message, or an empty text after the limit.
  std::string ReadCallback(uint32_t timeoutMs) {
    std::string message;
    if (callbacks_) {
      callbacks_->Read(message, timeoutMs);
    }
    return message;
  }

 private:
  std::string pluginId_;
  IPC::IPCHandler requests_;
  bool connected_ = false;
  std::string lastResponse_;
  std::unique_ptr<IPC::NamedPipe> callbacks_;
};

}  // namespace HostTest
