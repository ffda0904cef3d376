// GetKestrel: asks the host for its root object and returns it as a proxy.
#include "bridge/RootObject.h"

#include <string>

#include "bridge/Errors.h"
#include "bridge/ExportedCall.h"
#include "bridge/PluginManager.h"
#include "bridge/ScriptObject.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"

namespace Hostlink {

Napi::Value GetKestrel(const Napi::CallbackInfo& info) {
  return RunExported(info, "GetKestrel", [](Napi::Env env) -> Napi::Value {
    PluginManager& manager = PluginManager::GetInstance();
    if (!manager.IsInitialized()) {
      return ThrowJsError(env, "GetKestrel", kNotInitializedText);
    }
    IPC::RequestMessage request("GetKestrel", IPC::KvVariantMap(), -1);
    std::string responseText;
    if (!manager.SendRequest(request, responseText)) {
      return ThrowJsError(env, "GetKestrel", "Failed to send message to host");
    }
    IPC::ResponseMessage response;
    std::string errorText;
    if (!CheckResponse("GetKestrel", responseText, response, errorText, true)) {
      return ThrowJsMessage(env, errorText);
    }
    const IPC::KvVariantMap result = response.result.GetMap("result");
    IPC::ProxyInfo proxy;
    if (IPC::GetObjectType(result) != IPC::ObjectType::Proxy || !proxy.FromVariantMap(result)) {
      return ThrowJsError(env, "GetKestrel", "Failed to parse response: " + responseText);
    }
    if (proxy.proxyId < 1 || proxy.name.empty() || proxy.functions.empty()) {
      return ThrowJsError(env, "GetKestrel",
                          "Invalid proxy info received in response: " + responseText);
    }
    return CreateProxyObject(env, proxy.name, proxy.proxyId, proxy.uniqueId, proxy.functions);
  });
}

}  // namespace Hostlink
