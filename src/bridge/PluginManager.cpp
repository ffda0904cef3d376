// The plug-in manager: connection, exchanges and unload of the one plug-in.
#include "bridge/PluginManager.h"

#include <memory>

#include "transport/NamedPipe.h"

namespace Hostlink {

PluginManager::PluginManager() : handler(nullptr) {}

PluginManager::~PluginManager() { handler.Stop(); }

bool PluginManager::Initialize(const std::string& id) {
  auto channel = std::make_unique<IPC::NamedPipe>(id, IPC::ClientRequest);
  if (handler.Start(std::move(channel))) {
    pluginId = id;
    initialized = true;
  }
  return initialized;
}

bool PluginManager::CleanUp() {
  if (!initialized) {
    return true;
  }
  IPC::KvVariantMap args;
  args.Set("id", pluginId);
  IPC::RequestMessage request("UnloadPlugin", args, -1);
  std::string response;
  if (!SendRequest(request, response)) {
    return false;
  }
  // Any answer counts as the host's acknowledgement; its content is not read.
  handler.Stop();
  pluginId.clear();
  initialized = false;
  return true;
}

bool PluginManager::SendRequest(const IPC::RequestMessage& request, std::string& response) {
  return handler.SendRequest(request.ToJSONString(), response);
}

}  // namespace Hostlink
