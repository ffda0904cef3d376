// The one plug-in this process serves: its identifier, its request channel to the
// host and the API time-out. Every exchange with the host goes through SendRequest.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/Singleton.h"
#include "ipc/IPCHandler.h"
#include "ipc/RequestMessage.h"

namespace Hostlink {

class PluginManager : public Singleton<PluginManager> {
 public:
  PluginManager();
  ~PluginManager() override;

  // Connects the request channel named pluginId; true when initialized afterwards.
  bool Initialize(const std::string& pluginId);
  // Tells the host the plug-in unloads and closes the channel; true when no longer
  // initialized afterwards (also when it never was). On false nothing changed.
  bool CleanUp();
  // One exchange: writes the request, takes the next message on the channel as the
  // response text. False when the write or the read failed.
  bool SendRequest(const IPC::RequestMessage& request, std::string& response);

  bool IsInitialized() const { return initialized; }
  std::string GetPluginId() const { return pluginId; }
  uint32_t GetTimeout() const { return handler.GetTimeout(); }
  void SetTimeout(uint32_t timeoutMs) { handler.SetTimeout(timeoutMs); }

 private:
  bool initialized = false;
  std::string pluginId;
  IPC::IPCHandler handler;
};

}  // namespace Hostlink
