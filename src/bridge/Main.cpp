// The module's face towards JavaScript: the module record registered at load time,
// the export table, and the exported functions Initialize, CleanUp and SetAPITimeout.
#include <cstdint>
#include <string>

#include <napi.h>

#include "bridge/Callbacks.h"
#include "bridge/Errors.h"
#include "bridge/ExportedCall.h"
#include "bridge/PluginManager.h"
#include "bridge/ProxyClassCache.h"
#include "bridge/RootObject.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "variant/KvVariantMap.h"

namespace Hostlink {
namespace {

Napi::Value Initialize(const Napi::CallbackInfo& info) {
  return RunExported(info, "Initialize", [&info](Napi::Env env) -> Napi::Value {
    PluginManager& manager = PluginManager::GetInstance();
    if (manager.IsInitialized()) {
      return Napi::Boolean::New(env, true);
    }
    if (info.Length() < 1 || !info[0].IsString()) {
      return ThrowJsError(env, "Initialize", "Missing '<pluginId>' string argument");
    }
    std::string pluginId = info[0].As<Napi::String>().Utf8Value();
    if (pluginId.empty()) {
      return ThrowJsError(env, "Initialize", "Empty '<pluginId>' string argument");
    }
    if (!manager.Initialize(pluginId)) {
      return ThrowJsError(env, "Initialize", "Failed to initialize communication with host");
    }
    return Napi::Boolean::New(env, true);
  });
}

Napi::Value CleanUp(const Napi::CallbackInfo& info) {
  return RunExported(info, "CleanUp", [](Napi::Env env) -> Napi::Value {
    if (!PluginManager::GetInstance().CleanUp()) {
      return ThrowJsError(env, "CleanUp", "Failed to stop communication with host");
    }
    PluginManager::DestroyInstance();
    return Napi::Boolean::New(env, true);
  });
}

Napi::Value SetAPITimeout(const Napi::CallbackInfo& info) {
  return RunExported(info, "SetAPITimeout", [&info](Napi::Env env) -> Napi::Value {
    uint32_t timeoutMs = 0;
    if (info.Length() >= 1) {
      if (!info[0].IsNumber()) {
        return ThrowJsError(env, "SetAPITimeout", "Invalid timeout value");
      }
      // Seconds to milliseconds in unsigned 32-bit arithmetic: the fraction is
      // dropped and the product wraps modulo 2^32.
      timeoutMs = info[0].ToNumber().Uint32Value() * 1000u;
    }
    PluginManager& manager = PluginManager::GetInstance();
    if (timeoutMs == manager.GetTimeout()) {
      return Napi::Boolean::New(env, true);
    }
    if (!manager.IsInitialized()) {
      return ThrowJsError(env, "SetAPITimeout", kNotInitializedText);
    }
    IPC::KvVariantMap args;
    args.Set("timeout", timeoutMs);
    IPC::RequestMessage request("SetAPITimeout", args, -1);
    std::string responseText;
    if (!manager.SendRequest(request, responseText)) {
      return ThrowJsError(env, "SetAPITimeout", "Failed to communicate with host");
    }
    IPC::ResponseMessage response;
    std::string errorText;
    if (!CheckResponse("SetAPITimeout", responseText, response, errorText, true)) {
      return ThrowJsMessage(env, errorText);
    }
    if (!response.result.IsBool("result") || !response.result.GetBool("result")) {
      return ThrowJsError(env, "SetAPITimeout", "Failed to set API timeout with host");
    }
    manager.SetTimeout(timeoutMs);
    return Napi::Boolean::New(env, true);
  });
}

// Puts the six functions on the exports object, in this order, each nameless and set
// by plain assignment. A failing Node-API call throws Napi::Error, which the
// registration guard turns into the load's exception.
Napi::Object InitExports(Napi::Env env, Napi::Object exports) {
  // Per-environment state is made once, however often the module is loaded into it.
  if (ProxyClassCache::InstallFor(env)) {
    WatchCallbackEnvironment(env);
  }
  exports.Set("Initialize", Napi::Function::New<Initialize>(env));
  exports.Set("GetKestrel", Napi::Function::New<GetKestrel>(env));
  exports.Set("CleanUp", Napi::Function::New<CleanUp>(env));
  exports.Set("RegisterCallback", Napi::Function::New<RegisterCallback>(env));
  exports.Set("DeregisterCallback", Napi::Function::New<DeregisterCallback>(env));
  exports.Set("SetAPITimeout", Napi::Function::New<SetAPITimeout>(env));
  return exports;
}

napi_value RegisterModule(napi_env env, napi_value exports) {
  return Napi::RegisterModule(env, exports, InitExports);
}

napi_module hostlinkModule = {
    1,               // module record version
    0,               // flags
    "Main",          // file name
    RegisterModule,  // register function
    "Hostlink",      // module name
    nullptr,         // private data
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace
}  // namespace Hostlink

// The load-time initializer: registers the module record and nothing else; the
// exports are made when Node-API asks for them. GCC and Clang (MinGW included) run it as
// a constructor; MSVC through a pointer in the C run-time's initializer table.
#if defined(_WIN32)
#define HOSTLINK_EXPORT __declspec(dllexport)
#else
#define HOSTLINK_EXPORT __attribute__((visibility("default")))
#endif
#if defined(_MSC_VER)
#define HOSTLINK_LOAD_TIME
#else
#define HOSTLINK_LOAD_TIME __attribute__((constructor))
#endif

extern "C" HOSTLINK_EXPORT HOSTLINK_LOAD_TIME void _register_Hostlink_(void) {
  napi_module_register(&Hostlink::hostlinkModule);
}

#if defined(_MSC_VER)
#pragma section(".CRT$XCU", read)
// Exported so that the linker keeps it although nothing refers to it.
extern "C" __declspec(dllexport, allocate(".CRT$XCU")) void (*const hostlinkLoadTimeInit)(void) =
    _register_Hostlink_;
#endif
