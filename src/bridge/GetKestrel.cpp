// GetKestrel and GetKestrelAsync: ask the host for its root object.
#include "bridge/GetKestrel.h"

#include <string>

#include "bridge/AsyncCalls.h"
#include "bridge/Errors.h"
#include "bridge/ExportedCall.h"
#include "bridge/HostCall.h"
#include "bridge/PluginManager.h"
#include "ipc/RequestMessage.h"

namespace Hostlink {
namespace {

HostCall RootObjectCall() {
  HostCall call{"GetKestrel", "GetKestrel", ResultUse::Proxy};
  call.sendFailureText = "Failed to send message to host";
  return call;
}

std::string RootObjectRequest() {
  return IPC::RequestMessage("GetKestrel", IPC::KvVariantMap(), -1).ToJSONString();
}

}  // namespace

Napi::Value GetKestrel(const Napi::CallbackInfo& info) {
  return RunExported(info, "GetKestrel", [](Napi::Env env) -> Napi::Value {
    if (!PluginManager::GetInstance().IsInitialized()) {
      return ThrowJsError(env, "GetKestrel", kNotInitializedText);
    }
    return CallHost(env, RootObjectCall(), RootObjectRequest());
  });
}

Napi::Value GetKestrelAsync(const Napi::CallbackInfo& info) {
  return StartAsyncCall(info, RootObjectCall(), [](std::string& requestText) {
    requestText = RootObjectRequest();
    return true;
  });
}

}  // namespace Hostlink
