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

// Any thread but a JavaScript one (the sender of Promise calls): returns once every
// callback message that had reached the callback pipe has been handed to its JavaScript
// thread, so that a callback the host sent before an answer runs before that answer
// settles its Promise. Returns at once with no callback registered.
void TakeInArrivedCallbacks();

// Arranges for env's callbacks to be dropped, and the callback worker stopped when no
// other environment has any, before env is torn down.
void WatchCallbackEnvironment(Napi::Env env);

}  // namespace Hostlink
