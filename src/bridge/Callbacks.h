// The exported functions RegisterCallback and DeregisterCallback, and the one callback
// handler per process that receives the host's callback messages.
#pragma once

#include <napi.h>

namespace Hostlink {

// RegisterCallback(callbackName, callbackFunction) -> boolean
Napi::Value RegisterCallback(const Napi::CallbackInfo& info);
// DeregisterCallback(callbackName) -> boolean
Napi::Value DeregisterCallback(const Napi::CallbackInfo& info);

// Ends the callback side of the plug-in before it unloads: deregisters every callback
// with the host while it is still reachable (failures are logged, not thrown), then
// joins the callback worker, closes the callback pipe and releases every function, so
// that nothing keeps the process alive. Called by CleanUp, on any JavaScript thread,
// while it holds the request pipe.
void EndCallbacks();

// Arranges for env's callbacks to be dropped, and the callback worker stopped when no
// other environment has any, before env is torn down.
void WatchCallbackEnvironment(Napi::Env env);

}  // namespace Hostlink
