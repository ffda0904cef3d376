// The module's face towards JavaScript: the module record registered at load time,
// the export table, and the exported functions Initialize, CleanUp and SetAPITimeout.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <napi.h>

#include "base/Trace.h"
#include "bridge/AsyncCalls.h"
#include "bridge/Callbacks.h"
#include "bridge/Errors.h"
#include "bridge/ExportedCall.h"
#include "bridge/PluginManager.h"
#include "bridge/ProxyClassCache.h"
#include "bridge/GetKestrel.h"
#include "bridge/HostCall.h"
#include "ipc/RequestMessage.h"
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
    return Napi::Boolean::New(env, true);
  });
}

// The largest time-out in seconds: its milliseconds fill 32 bits.
constexpr double kMaxTimeoutSeconds = 4294967.295;

// Seconds to milliseconds, a fraction rounded up to the next millisecond (counted from
// whole microseconds, so 0.3 s is 300 ms), so that a positive value never becomes 0,
// which means no limit. False for a value that is negative, not finite or too large.
bool TimeoutMilliseconds(double seconds, uint32_t& timeoutMs) {
  if (!std::isfinite(seconds) || seconds < 0 || seconds > kMaxTimeoutSeconds) {
    return false;
  }
  const double milliseconds = std::ceil(std::round(seconds * 1e6) / 1000.0);
  timeoutMs = static_cast<uint32_t>(milliseconds);
  if (timeoutMs == 0 && seconds > 0) {
    timeoutMs = 1;
  }
  return true;
}

Napi::Value SetAPITimeout(const Napi::CallbackInfo& info) {
  return RunExported(info, "SetAPITimeout", [&info](Napi::Env env) -> Napi::Value {
    uint32_t timeoutMs = 0;
    if (info.Length() >= 1) {
      if (!info[0].IsNumber()) {
        return ThrowJsError(env, "SetAPITimeout", "Invalid timeout value");
      }
      if (!TimeoutMilliseconds(info[0].As<Napi::Number>().DoubleValue(), timeoutMs)) {
        return ThrowJsError(env, "SetAPITimeout",
                            "Timeout out of range, a number of seconds from 0 to 4294967.295 "
                            "expected");
      }
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
    HostCall call{"SetAPITimeout", "SetAPITimeout", ResultUse::Accepted};
    call.refusedText = "Failed to set API timeout with host";
    const std::string text = IPC::RequestMessage("SetAPITimeout", args, -1).ToJSONString();
    // The limit is stored in the request's own turn: a CleanUp waiting for the pipe resets
    // it after, never before, so a racing SetAPITimeout cannot undo that reset.
    RequestQueue::Turn turn;
    std::string response;
    const ExchangeOutcome outcome =
        turn.Granted() ? manager.Exchange(text, response) : ExchangeOutcome::NotInitialized;
    Napi::Value accepted = SettleHostCall(env, call, outcome, response);
    if (!accepted.IsEmpty()) {
      manager.SetTimeout(timeoutMs);
    }
    return accepted;
  });
}

// Puts the six functions, then Async and GetKestrelAsync, on the exports object, in
// this order, each nameless and set by plain assignment. A failing Node-API call throws
// Napi::Error, which the registration guard turns into the load's exception.
Napi::Object InitExports(Napi::Env env, Napi::Object exports) {
  // The wire trace follows Node's NODE_DEBUG, read once per process.
  static const bool traceSet = (IPC::EnableTraceFromNodeDebug(std::getenv("NODE_DEBUG")), true);
  (void)traceSet;
  // Per-environment state is made once, however often the module is loaded into it.
  if (ProxyClassCache::InstallFor(env)) {
    WatchCallbackEnvironment(env);
  }
  AsyncEnvironment* asyncEnvironment = InstallAsyncEnvironment(env);
  exports.Set("Initialize", Napi::Function::New<Initialize>(env));
  exports.Set("GetKestrel", Napi::Function::New<GetKestrel>(env));
  exports.Set("CleanUp", Napi::Function::New<CleanUp>(env));
  exports.Set("RegisterCallback", Napi::Function::New<RegisterCallback>(env));
  exports.Set("DeregisterCallback", Napi::Function::New<DeregisterCallback>(env));
  exports.Set("SetAPITimeout", Napi::Function::New<SetAPITimeout>(env));
  exports.Set("Async", Napi::Function::New<Async>(env, nullptr, asyncEnvironment));
  exports.Set("GetKestrelAsync",
              Napi::Function::New<GetKestrelAsync>(env, nullptr, asyncEnvironment));
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
